// The recursive folder walk over 100,000 real folders, beside `find -type d` over the same
// tree as the yardstick.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "list/folder_walk.h"
#include "platform/posix/posix_directory_search.h"

namespace quillet {
namespace {

// 100 folders of 1,000 folders each; made once and kept in /tmp for later runs.
const std::string& Tree() {
  static const std::string root = [] {
    const std::string path = "/tmp/quillet-bench-tree";
    const std::string done = path + "/.complete";
    if (::access(done.c_str(), F_OK) != 0) {
      std::system(("rm -rf " + path).c_str());
      ::mkdir(path.c_str(), 0755);
      for (int top = 0; top < 100; ++top) {
        const std::string level1 = path + "/group" + std::to_string(top);
        ::mkdir(level1.c_str(), 0755);
        for (int leaf = 0; leaf < 1000; ++leaf) ::mkdir((level1 + "/folder" + std::to_string(leaf)).c_str(), 0755);
      }
      std::ofstream(done) << "100 x 1000 folders\n";
    }
    return path;
  }();
  return root;
}

void BM_FolderWalkRecursive(benchmark::State& state) {
  const std::string dir = Tree();
  PosixDirectorySearch search;
  std::vector<std::string> folders;
  for (auto _ : state) {
    folders.clear();
    AddAllFoldersInDir(search, dir, WalkDepth::AllLevels, folders);
    benchmark::DoNotOptimize(folders.data());
  }
  state.counters["folders"] = static_cast<double>(folders.size());
}
BENCHMARK(BM_FolderWalkRecursive)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindTypeD(benchmark::State& state) {
  const std::string command = "find " + Tree() + " -type d > /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("find failed");
  }
}
BENCHMARK(BM_FindTypeD)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quillet
