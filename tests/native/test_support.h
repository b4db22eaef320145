// Small helpers shared by the native tests: a scratch folder on disk and a file system kept
// in memory.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace quillet::test {

// A fresh folder under /tmp, removed with everything in it (permissions restored first).
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/quillet-test-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (made == nullptr) std::abort();
    path_ = made;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (!it->is_symlink() && it->is_directory(ignored)) ::chmod(it->path().c_str(), 0755);
    }
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  // path_ + "/" + relative ("/"-separated), for the test's own file operations.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

inline void MakeDirs(const std::string& path) { std::filesystem::create_directories(path); }

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline std::vector<std::string> FolderNames(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename());
  return names;
}

// Files by path, for store logic that needs no real disk.
class MemoryFileSystem : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  int replaceCount = 0;

  std::optional<std::string> ReadFile(const std::string& path) override {
    const auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second;
  }
  void ReplaceFile(const std::string& path, const std::string& bytes) override {
    ++replaceCount;
    files[path] = bytes;
  }
  bool DeleteFile(const std::string& path) override { return files.erase(path) > 0; }
  bool CreateFolder(const std::string&) override { return true; }
  bool FileExists(const std::string& path) override { return files.count(path) > 0; }
  bool ProbeWritable(const std::string&) override { return true; }
};

}  // namespace quillet::test
