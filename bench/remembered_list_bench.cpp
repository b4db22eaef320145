// The remembered list with a million entries: reading files.txt at start, and the save
// timer's tick: what it costs every second while nothing changed, when it has to compare every
// text, and when it writes files.txt.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "list/item_list.h"
#include "platform/posix/posix_file_system.h"
#include "platform/ansi_decoder.h"
#include "store/remembered_list.h"

namespace quillet {
namespace {

constexpr int kEntries = 1'000'000;

ItemList MakeList() {
  ItemList list;
  for (int k = 0; k < kEntries; ++k) list.Ekle("C:\\Users\\someone\\Documents\\file" + std::to_string(k) + ".txt", true);
  return list;
}

// Writes are counted and dropped: the ticks measured here must not write.
class CountingFileSystem : public PosixFileSystem {
 public:
  int writes = 0;
  void ReplaceFile(const std::string&, const std::string&) override { ++writes; }
};

// Nothing changed since the last tick: the text revision says so without a comparison.
void BM_SaveTickUnchanged(benchmark::State& state) {
  CountingFileSystem fs;
  RememberedList remembered(fs, "C:\\settings\\");
  ItemList list = MakeList();
  remembered.SaveIfChanged(list);
  for (auto _ : state) benchmark::DoNotOptimize(remembered.SaveIfChanged(list));
  if (fs.writes != 1) state.SkipWithError("an unchanged list was written");
}
BENCHMARK(BM_SaveTickUnchanged);

// Only check marks changed between ticks: still no comparison.
void BM_SaveTickCheckMarksOnly(benchmark::State& state) {
  CountingFileSystem fs;
  RememberedList remembered(fs, "C:\\settings\\");
  ItemList list = MakeList();
  remembered.SaveIfChanged(list);
  for (auto _ : state) {
    list.ToggleChecked(kEntries / 2);
    benchmark::DoNotOptimize(remembered.SaveIfChanged(list));
  }
  if (fs.writes != 1) state.SkipWithError("a change of check marks was written");
}
BENCHMARK(BM_SaveTickCheckMarksOnly);

// An entry added and removed again between ticks: the texts must be compared one by one and
// turn out equal. The add and the removal at the end of the list are part of the figure.
void BM_SaveTickFullComparison(benchmark::State& state) {
  CountingFileSystem fs;
  RememberedList remembered(fs, "C:\\settings\\");
  ItemList list = MakeList();
  remembered.SaveIfChanged(list);
  for (auto _ : state) {
    list.Ekle("extra", true);
    list.Select(kEntries);
    list.DeleteSelected();
    benchmark::DoNotOptimize(remembered.SaveIfChanged(list));
  }
  if (fs.writes != 1) state.SkipWithError("an equal list was written");
}
BENCHMARK(BM_SaveTickFullComparison)->Unit(benchmark::kMillisecond);

// A real files.txt of a million entries in a temporary folder: every tick adds or removes the
// last entry, so every tick writes the whole file.
void BM_SaveTickWrites(benchmark::State& state) {
  char pattern[] = "/tmp/quillet-bench-XXXXXX";
  const char* folder = mkdtemp(pattern);
  if (folder == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  PosixFileSystem fs;
  RememberedList remembered(fs, std::string(folder) + "\\");
  ItemList list = MakeList();
  bool extra = false;
  for (auto _ : state) {
    if (extra) {
      list.Select(kEntries);
      list.DeleteSelected();
    } else {
      list.Ekle("extra", true);
    }
    extra = !extra;
    if (!remembered.SaveIfChanged(list)) state.SkipWithError("a changed list was not written");
  }
  const auto fileSize = static_cast<std::int64_t>(std::filesystem::file_size(std::string(folder) + "/files.txt"));
  state.SetBytesProcessed(state.iterations() * fileSize);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SaveTickWrites)->Unit(benchmark::kMillisecond);

// A files.txt of a million entries served from memory, so the figure is the reading alone.
class MemoryFileSystem : public PosixFileSystem {
 public:
  std::string bytes;
  std::optional<std::string> ReadFile(const std::string&) override { return bytes; }
};

class Utf8Only : public AnsiDecoder {
 public:
  std::string ToUtf8(std::string_view bytes) const override { return std::string(bytes); }
};

void BM_LoadAtStart(benchmark::State& state) {
  MemoryFileSystem fs;
  fs.bytes = "\xEF\xBB\xBF";
  for (int k = 0; k < kEntries; ++k) fs.bytes += "C:\\Users\\someone\\Documents\\file" + std::to_string(k) + ".txt\r\n";
  const Utf8Only ansi;
  for (auto _ : state) {
    RememberedList remembered(fs, "C:\\settings\\");
    auto lines = remembered.Load(ansi);
    if (!lines || lines->size() != static_cast<std::size_t>(kEntries)) state.SkipWithError("not every line was read");
    benchmark::DoNotOptimize(lines);
  }
}
BENCHMARK(BM_LoadAtStart)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillet
