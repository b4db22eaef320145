// The cost of showing a run's progress: runs of many entries with no wait, each entry launched
// through the shell as the program launches it (a named program that ends at once), with and
// without the progress in a status bar and on the taskbar button, in alternating rounds of one
// process. Both kinds handle the window's messages between entries, as the program does.
// Usage: quillet_run_bench.exe <program to launch> [--entries N] [--rounds R]
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "list/opening_run.h"
#include "list/run_progress.h"
#include "platform/win32/taskbar_progress.h"
#include "platform/win32/win32_system.h"
#include "process_clock.h"
#include "util/text.h"

namespace {

using namespace quillet;

class BenchEnvironment final : public RunEnvironment {
 public:
  BenchEnvironment(HWND window, HWND status, TaskbarProgress* taskbar, std::string program)
      : window_(window), status_(status), taskbar_(taskbar), program_(std::move(program)) {}
  RunOptions Options() override { return RunOptions{false, program_, 0}; }
  FolderProbe& Probe() override { return probe_; }
  void Launch(const LaunchRequest& request) override {
    const std::wstring parameters = request.parameters ? Widen(*request.parameters) : std::wstring();
    ShellExecuteW(window_, Widen(request.verb).c_str(), Widen(request.file).c_str(),
                  request.parameters ? parameters.c_str() : nullptr, nullptr, SW_HIDE);
  }
  void Wait(long long milliseconds) override { SleepWithoutFreeze(milliseconds); }
  bool StopRequested() override {
    ProcessMessages();
    return false;
  }
  // Paced as the program paces it: shown at most once per kRunProgressIntervalMs, a count
  // held meanwhile shown by a timer.
  void ProgressChanged(const RunProgress& progress) override {
    if (!status_) return;  // the run without progress
    const std::uint64_t now = GetTickCount64();
    if (!pacer_.Offer(progress, now)) {
      held_ = this;
      SetTimer(window_, 1, static_cast<UINT>(pacer_.Due() - now), ShowHeld);
      return;
    }
    Show(progress);
  }
  static void CALLBACK ShowHeld(HWND window, UINT, UINT_PTR timer, DWORD) {
    KillTimer(window, timer);
    if (held_ && held_->pacer_.Holding()) held_->Show(held_->pacer_.TakeHeld(GetTickCount64()));
  }
  void Show(const RunProgress& progress) {
    const double start = NowMs();
    const std::wstring text = Widen(RunProgressText(progress));
    SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    UpdateWindow(status_);  // its painting, which the program's message handling would do next
    const double shown = NowMs();
    taskbar_->Show(progress.opened, progress.total, progress.waiting);
    statusMs += shown - start;
    progressMs += NowMs() - start;
  }
  double progressMs = 0;  // time spent showing the progress, painting included
  double statusMs = 0;    // of which the status bar

 private:
  HWND window_, status_;
  TaskbarProgress* taskbar_;
  std::string program_;
  Win32FolderProbe probe_;
  ProgressPacer pacer_{kRunProgressIntervalMs};
  static inline BenchEnvironment* held_ = nullptr;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillet_run_bench.exe <program> [--entries N] [--rounds R]\n");
    return 2;
  }
  const std::string program = Narrow(argv[1]);
  int entries = 1000, rounds = 3;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::wcscmp(argv[i], L"--entries") == 0) entries = _wtoi(argv[i + 1]);
    if (std::wcscmp(argv[i], L"--rounds") == 0) rounds = _wtoi(argv[i + 1]);
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  HWND window = CreateWindowExW(0, L"STATIC", L"Quillet run bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                100, 100, 500, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  HWND status = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  Win32TaskbarProgress taskbar(window);
  taskbar.ButtonCreated();
  ProcessMessages();

  ItemList list;
  for (int i = 0; i < entries; ++i) list.Ekle("entry " + std::to_string(i), true);
  std::vector<double> with, without, shown, statusShown;
  for (int round = 0; round < rounds; ++round) {
    for (bool progress : {true, false}) {
      BenchEnvironment environment(window, progress ? status : nullptr, &taskbar, program);
      const double start = NowMs();
      RunOpening(list, environment);
      KillTimer(window, 1);
      (progress ? with : without).push_back(NowMs() - start);
      if (progress) shown.push_back(environment.progressMs);
      if (progress) statusShown.push_back(environment.statusMs);
      taskbar.Clear();
    }
  }
  const double withMs = Median(with), withoutMs = Median(without), shownMs = Median(shown);
  // The side-by-side figure moves with the launches' own spread on a busy machine; the time
  // spent in the progress updates themselves is the steadier one.
  std::printf("run of %d entries, no wait, median of %d rounds: %.0f ms with progress, %.0f ms without "
              "(%+.1f %%); the updates themselves %.1f ms (%.2f %% of the run; the status bar %.1f ms); "
              "taskbar interface %s\n",
              entries, rounds, withMs, withoutMs, 100.0 * (withMs - withoutMs) / withoutMs, shownMs,
              100.0 * shownMs / withMs, Median(statusShown), taskbar.Available() ? "offered" : "not offered by this shell");
  DestroyWindow(window);
  CoUninitialize();
  return 0;
}
