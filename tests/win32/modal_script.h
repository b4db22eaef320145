// How the Windows tests work a window whose message loop runs inside a call (a modal window, a
// message box, a menu, the opening run): as a user would, from outside any handler. A script of
// steps runs from a timer of the thread whose loop it is, one step per tick, so every message a
// step posts has been handled before the next step looks. A step that needs something (its
// window, a message box, a state) waits for it by saying it is not done yet; it is asked again
// on the next tick, for a generous time. Nothing waits a fixed time: where a test must know that
// a window's clock went on (a check that something did not happen), it counts the ticks the
// window handled.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <map>
#include <vector>

namespace quillet::testing {

// How long one wait of a test may last. A shared, busy machine under Wine is slow, never this
// slow: a wait that reaches it waits for something that will not come.
inline constexpr DWORD kPatienceMs = 10000;

// Handles this thread's messages, as the program's own waits do, until condition holds or
// timeoutMs have passed; true when it held.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = kPatienceMs);

// A step: true once it is done; false while what it needs is not there yet.
using ScriptStep = std::function<bool()>;

// A key pressed and released on the real keyboard, with the keys in `held` down around it; it
// goes to the window in front. Done once this thread has handled the keys.
ScriptStep PressRealKey(WORD key, std::vector<WORD> held = {});

// The message box this thread shows, if any.
HWND ShownMessageBox();
// The popup menu this process shows, if any.
HWND ShownMenu();

// Ends the loops a step may have left open on this thread (a menu, message boxes), so the
// window under them can be closed.
void EndNestedLoops();

struct Script {
  std::vector<ScriptStep> steps;
  // Ends the loop when the script can't go on: a step waited in vain, or the loop went on
  // after the last step.
  std::function<void()> giveUp = EndNestedLoops;
  DWORD patienceMs = kPatienceMs;
};

struct ScriptReport {
  std::size_t stepsDone = 0;  // fewer than the steps: the loop ended before the rest could run
};

// Calls loop (which returns when its loop ends) while the script runs from a timer of this
// thread. A step that waits in vain and a loop that outlasts the script by the patience are
// test failures, reported here; the script then gives up.
ScriptReport RunScript(const std::function<void()>& loop, Script script);

// The timer ticks a window has handled, by timer ID; they show that its clock went on. Seen
// after the window's own handler, through a subclass that goes with the watch.
class TimerTicks {
 public:
  explicit TimerTicks(HWND window);
  ~TimerTicks();
  TimerTicks(const TimerTicks&) = delete;
  TimerTicks& operator=(const TimerTicks&) = delete;

  int Count(UINT_PTR timer) const;
  int Total() const;  // of every timer

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                    DWORD_PTR self);
  HWND window_;
  std::map<UINT_PTR, int> counts_;
};

}  // namespace quillet::testing
