// Every end-to-end test ends with no program of its own still running. One left behind (a copy
// started by the program itself, a page or file it opened) would stand in the next test's way,
// and it keeps Wine's session alive, whose services hold the run's output open. What a test
// leaves behind is named in the output and ended, so the next test starts clean.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "e2e/driver.h"
#include "util/text.h"

namespace quillet::e2e {
namespace {

// Wine's own services, which may start on demand in any test and end with the session; the
// desktop's process among them (Wine's explorer.exe, started with the first window).
bool IsSessionService(const RunningProcess& process) {
  DWORD desktop = 0;
  GetWindowThreadProcessId(GetDesktopWindow(), &desktop);
  if (process.pid == desktop) return true;
  static const wchar_t* const kServices[] = {L"services.exe", L"winedevice.exe", L"plugplay.exe", L"svchost.exe",
                                             L"rpcss.exe",    L"conhost.exe",    L"wineboot.exe"};
  return std::any_of(std::begin(kServices), std::end(kServices),
                     [&](const wchar_t* service) { return lstrcmpiW(process.exe_name.c_str(), service) == 0; });
}

class LeftoverProcesses : public testing::EmptyTestEventListener {
 public:
  void OnTestStart(const testing::TestInfo&) override {
    before_.clear();
    for (const RunningProcess& process : RunningProcesses()) before_.insert(process.pid);
  }

  void OnTestEnd(const testing::TestInfo& test) override {
    // A program may take a moment to end after its window closed.
    if (WaitUntil([&] { return StartedSinceTheTestBegan().empty(); }, 5000)) return;
    for (const RunningProcess& process : StartedSinceTheTestBegan()) {
      std::printf("[ LEFTOVER ] %s.%s left %s (process %lu) running; ended\n", test.test_suite_name(), test.name(),
                  Narrow(process.exe_name).c_str(), static_cast<unsigned long>(process.pid));
      if (HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.pid)) {
        TerminateProcess(handle, 1);
        WaitForSingleObject(handle, kWaitMs);
        CloseHandle(handle);
      }
    }
    std::fflush(stdout);
  }

 private:
  std::vector<RunningProcess> StartedSinceTheTestBegan() const {
    std::vector<RunningProcess> started;
    for (const RunningProcess& process : RunningProcesses()) {
      if (process.pid != GetCurrentProcessId() && !before_.count(process.pid) && !IsSessionService(process)) {
        started.push_back(process);
      }
    }
    return started;
  }

  std::set<DWORD> before_;
};

// gtest owns the listener from here on.
[[maybe_unused]] const bool kListening = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new LeftoverProcesses);
  return true;
}();

}  // namespace
}  // namespace quillet::e2e
