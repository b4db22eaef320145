#include "modal_script.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "../shared/window_probe.h"
#include "platform/win32/win32_system.h"

namespace quillet::testing {
namespace {

constexpr UINT kTickMs = 20;

// A script under way. Its timer is a thread timer, whose callback gets nothing but the timer's
// ID; the ID leads back to the script.
struct Running {
  Script script;
  ScriptReport report;
  std::size_t next = 0;
  ULONGLONG since = 0;   // when the step now due (or the wait after the last) began
  bool inStep = false;   // a step runs; a tick now comes from a loop of its own
  bool gaveUp = false;
};

std::map<UINT_PTR, Running*>& Scripts() {
  static std::map<UINT_PTR, Running*> scripts;
  return scripts;
}

void GiveUp(Running& run, ULONGLONG now) {
  run.gaveUp = true;
  run.since = now;
  if (run.script.giveUp) run.script.giveUp();
}

void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
  const auto found = Scripts().find(timer);
  if (found == Scripts().end()) return;
  Running& run = *found->second;
  const ULONGLONG now = GetTickCount64();
  const bool overdue = now - run.since > run.script.patienceMs;
  if (run.gaveUp || run.inStep) {
    // Once given up, and for a step that never returns (it waits in a loop of its own), the
    // loop is asked again to end each time the patience runs out.
    if (!overdue) return;
    if (!run.gaveUp) ADD_FAILURE() << "step " << run.next << " did not return";
    GiveUp(run, now);
    return;
  }
  if (run.next < run.script.steps.size()) {
    run.inStep = true;
    const bool done = run.script.steps[run.next]();
    run.inStep = false;
    if (done) {
      run.report.stepsDone = ++run.next;
      run.since = GetTickCount64();
    } else if (overdue) {
      ADD_FAILURE() << "step " << run.next << " waited in vain";
      GiveUp(run, now);
    }
    return;
  }
  if (overdue) {
    ADD_FAILURE() << "the loop went on after the last step";
    GiveUp(run, now);
  }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() - start >= timeoutMs) return condition();
    SleepWithoutFreeze(10);
  }
}

ScriptStep PressRealKey(WORD key, std::vector<WORD> held) {
  return [key, held = std::move(held), sent = false]() mutable {
    if (!sent) {
      SendKeyPress(key, held);
      sent = true;
      return false;
    }
    return HIWORD(GetQueueStatus(QS_KEY)) == 0;
  };
}

HWND ShownMessageBox() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM param) -> BOOL {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND ShownMenu() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (std::wstring(name) != L"#32768" || !IsWindowVisible(window) || process != GetCurrentProcessId())
          return TRUE;
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

void EndNestedLoops() {
  EndMenu();
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM) -> BOOL {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (std::wstring(name) == L"#32770") PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
      },
      0);
}

ScriptReport RunScript(const std::function<void()>& loop, Script script) {
  Running run;
  run.script = std::move(script);
  run.since = GetTickCount64();
  const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, Tick);
  EXPECT_NE(timer, 0u) << "no timer for the script";
  Scripts()[timer] = &run;
  loop();
  KillTimer(nullptr, timer);
  Scripts().erase(timer);
  return run.report;
}

TimerTicks::TimerTicks(HWND window) : window_(window) {
  SetWindowSubclass(window_, Procedure, 0, reinterpret_cast<DWORD_PTR>(this));
}

TimerTicks::~TimerTicks() {
  if (IsWindow(window_)) RemoveWindowSubclass(window_, Procedure, 0);
}

int TimerTicks::Count(UINT_PTR timer) const {
  const auto found = counts_.find(timer);
  return found == counts_.end() ? 0 : found->second;
}

int TimerTicks::Total() const {
  int total = 0;
  for (const auto& [timer, count] : counts_) total += count;
  return total;
}

LRESULT CALLBACK TimerTicks::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR self) {
  const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
  if (message == WM_TIMER) ++reinterpret_cast<TimerTicks*>(self)->counts_[static_cast<UINT_PTR>(wParam)];
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, Procedure, 0);
  return result;
}

}  // namespace quillet::testing
