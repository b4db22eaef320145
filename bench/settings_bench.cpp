// One option change: the write-through store replaces settings.ini on disk.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/posix/posix_file_system.h"
#include "store/settings_store.h"

namespace quillet {
namespace {

void BM_SettingsWriteOneKey(benchmark::State& state) {
  char pattern[] = "/tmp/quillet-bench-settings-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  PosixFileSystem fs;
  SettingsStore store(fs, dir + "\\");
  store.Open();
  // A file as the program keeps it: a dozen short lines.
  for (const char* key : {"Left", "Top", "Height", "Width"}) store.SetInteger(key, 100);
  store.SetString("WindowState", "Normal");
  for (const char* key : {"Remember", "StayOnTop", "AutoClose", "AutoOpenList"}) store.SetInteger(key, 0);
  store.SetString("OpenWith", "C:\\Windows\\notepad.exe");
  store.SetString("OpenWithDefaults", "ON");
  long long wait = 0;
  for (auto _ : state) store.WriteInteger("Wait", ++wait);
  std::system(("rm -rf " + dir).c_str());
}
BENCHMARK(BM_SettingsWriteOneKey)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace quillet
