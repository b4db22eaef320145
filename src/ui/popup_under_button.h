// A button's drop-down menu, shared by the main window's list buttons and the about window.
#pragma once

#include <windows.h>

namespace quillet {

// Shows menu under button's bottom-left corner; commands reach owner as WM_COMMAND. A click
// on the same button within 100 ms of its menu closing is swallowed (shared by all callers).
void PopupUnderButton(HWND owner, HWND button, HMENU menu);

}  // namespace quillet
