// The message loop of the program's modal windows (the add, feedback and about windows).
#pragma once

#include <windows.h>

#include <functional>

namespace quillet {

// Runs the messages of the program until done turns true. The owner takes no input meanwhile;
// it is enabled again before this returns, so the system hands activation back to it when the
// caller then destroys window. preTranslate sees every key and mouse message first and returns
// true when it used the message up; the rest goes through the dialog manager of window (Tab
// between controls, Enter for the default button) and is then dispatched. A request to end the
// program leaves the loop and is put back for the main loop.
void RunModalLoop(HWND window, HWND owner, const bool& done,
                  const std::function<bool(const MSG&)>& preTranslate = {});

// WM_NEXTDLGCTL of a window run by RunModalLoop, answered as a dialog's own procedure would.
// The dialog manager of the loop tells the controls that they sit in a dialog; a multi-line
// edit then keeps Tab and Shift+Tab from it (it wants every key, Enter for its new lines) and
// asks its parent with this message to move the focus instead, never inserting a tab. Without
// an answer the focus would stay in the memo. wParam and lParam as the message brings them:
// the control to focus (lParam non-zero), or the previous (wParam non-zero) or next tab stop.
void MoveDialogFocus(HWND window, WPARAM wParam, LPARAM lParam);

// Keeps the focused control of a modal window across a switch to another program and back.
class FocusKeeper {
 public:
  // WM_ACTIVATE of window: remembers the focused control when the window is left and gives the
  // focus back when it returns, to fallback when none was kept. True when it set the focus.
  bool OnActivate(HWND window, WPARAM wParam, HWND fallback = nullptr) {
    if (LOWORD(wParam) == WA_INACTIVE) {
      last_ = GetFocus();
      return false;
    }
    HWND target = last_ && IsChild(window, last_) ? last_ : fallback;
    if (!target) return false;
    SetFocus(target);
    return true;
  }

 private:
  HWND last_ = nullptr;
};

}  // namespace quillet
