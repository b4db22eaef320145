// A list file of a million entries (about 60 MB, some Chinese): loading it into entries and
// saving it, each beside the bare file I/O it can't do without.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fake_ansi_decoder.h"
#include "platform/posix/posix_file_system.h"
#include "store/list_files.h"
#include "store/text_file.h"

namespace quillet {
namespace {

constexpr int kEntries = 1'000'000;  // about 60 bytes a line

std::vector<Entry> MakeEntries() {
  std::vector<Entry> entries;
  entries.reserve(kEntries);
  for (int k = 0; k < kEntries; ++k) {
    const std::string number = std::to_string(k);
    std::string text;
    switch (k % 4) {
      case 0: text = "C:\\Users\\someone\\Documents\\Projects\\2024\\quarterly-report-" + number + ".docx"; break;
      case 1: text = "https://www.example.com/articles/2024/entry?id=" + number + "&ref=saved-list"; break;
      // 项目资料\季度报告 (project files\quarterly report)
      case 2:
        text = "D:\\Archive\\\xE9\xA1\xB9\xE7\x9B\xAE\xE8\xB5\x84\xE6\x96\x99\\"
               "\xE5\xAD\xA3\xE5\xBA\xA6\xE6\x8A\xA5\xE5\x91\x8A " + number + ".pdf";
        break;
      default: text = "\\\\fileserver\\shared\\team\\meeting notes\\2024\\notes-" + number + ".txt"; break;
    }
    entries.push_back(Entry{std::move(text), k % 7 != 0});
  }
  return entries;
}

// One scratch folder for the whole run, holding the list as the program saves it.
struct ListOnDisk {
  ListOnDisk() {
    char pattern[] = "/tmp/quillet-bench-lists-XXXXXX";
    dir = ::mkdtemp(pattern);
    entries = MakeEntries();
    bytes = ListFormatBytes(entries, options);
    fs.ReplaceFile(Path("list.qlst"), bytes);
  }
  ~ListOnDisk() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }

  std::string dir;
  ListOptions options{500, false, true, false};
  std::vector<Entry> entries;
  std::string bytes;
  PosixFileSystem fs;
};

ListOnDisk& List() {
  static ListOnDisk list;
  return list;
}

// Freeing what the previous round made is no part of reading.
template <typename T>
void DropUntimed(benchmark::State& state, std::optional<T>& value) {
  state.PauseTiming();
  value.reset();
  state.ResumeTiming();
}

void BM_ListFileReadBytesOnly(benchmark::State& state) {
  ListOnDisk& list = List();
  std::optional<std::string> bytes;
  for (auto _ : state) {
    DropUntimed(state, bytes);
    bytes = list.fs.ReadFile(list.Path("list.qlst"));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(list.bytes.size()));
}
BENCHMARK(BM_ListFileReadBytesOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListFileLoad(benchmark::State& state) {
  ListOnDisk& list = List();
  const test::Latin1Decoder ansi;
  std::optional<ListFileContent> content;
  for (auto _ : state) {
    DropUntimed(state, content);
    content = LoadListFile(list.fs, ansi, list.Path("list.qlst"));
    if (!content || content->entries.size() != kEntries) state.SkipWithError("the list did not come back");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(list.bytes.size()));
}
BENCHMARK(BM_ListFileLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

// The two steps of a load without the disk: decoding the bytes and reading the lines.
void BM_ListFileDecodeOnly(benchmark::State& state) {
  ListOnDisk& list = List();
  const test::Latin1Decoder ansi;
  for (auto _ : state) benchmark::DoNotOptimize(DecodeTextFile(list.bytes, ansi));
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(list.bytes.size()));
}
BENCHMARK(BM_ListFileDecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListFileReadLinesOnly(benchmark::State& state) {
  ListOnDisk& list = List();
  const std::string_view text = std::string_view(list.bytes).substr(kUtf8ByteOrderMark.size());
  for (auto _ : state) benchmark::DoNotOptimize(ReadListFormat(text));
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(list.bytes.size()));
}
BENCHMARK(BM_ListFileReadLinesOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListFileWriteBytesOnly(benchmark::State& state) {
  ListOnDisk& list = List();
  for (auto _ : state) list.fs.ReplaceFile(list.Path("raw.qlst"), list.bytes);
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(list.bytes.size()));
}
BENCHMARK(BM_ListFileWriteBytesOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListFileSave(benchmark::State& state) {
  ListOnDisk& list = List();
  for (auto _ : state) SaveListFile(list.fs, list.Path("saved.qlst"), list.entries, list.options);
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(list.bytes.size()));
}
BENCHMARK(BM_ListFileSave)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quillet
