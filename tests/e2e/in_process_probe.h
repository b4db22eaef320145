// Questions about the running program that only its own process can answer: program_probe.dll
// is hooked into the thread of one of its windows and answers them there. Wine gives another
// process nothing for a menu, and a timer tick that writes nothing leaves no trace outside.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace quillet::e2e {

class InProcessProbe {
 public:
  // Hooks the thread of `window`; the library comes into the program with the first message
  // that thread handles afterwards.
  explicit InProcessProbe(HWND window);
  ~InProcessProbe();
  InProcessProbe(const InProcessProbe&) = delete;
  InProcessProbe& operator=(const InProcessProbe&) = delete;

  HWND Window() const { return window_; }
  // Why the probe is not in the program, or why it left the last question unanswered; ""
  // when it answered.
  const std::string& Error() const { return error_.empty() ? unanswered_ : error_; }

  // GetMenuState of an item of the window's menu (MF_CHECKED, MF_GRAYED, ...), read in the
  // program; nullopt when the probe did not answer.
  std::optional<UINT> MenuState(int command_id) const;
  // The ticks of one of the window's timers that the program took out of its queue since the
  // probe came in; nullopt when the probe did not answer.
  std::optional<int> TimerTicks(UINT_PTR timer) const;

 private:
  std::optional<UINT> Ask(WPARAM question, LPARAM about) const;

  HWND window_;
  HHOOK getMessage_ = nullptr;
  HHOOK callWndProc_ = nullptr;
  std::string error_;
  mutable std::string unanswered_;
};

}  // namespace quillet::e2e
