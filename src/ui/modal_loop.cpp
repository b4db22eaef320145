#include "ui/modal_loop.h"

namespace quillet {

void RunModalLoop(HWND window, HWND owner, const bool& done, const std::function<bool(const MSG&)>& preTranslate) {
  const bool disableOwner = owner && IsWindowEnabled(owner);
  if (disableOwner) EnableWindow(owner, FALSE);
  MSG message;
  while (!done) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      // The program is ending: leave the window and let the main loop see the request.
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (preTranslate && preTranslate(message)) continue;
    if (IsWindow(window) && IsDialogMessageW(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (disableOwner) EnableWindow(owner, TRUE);
}

void MoveDialogFocus(HWND window, WPARAM wParam, LPARAM lParam) {
  HWND target = nullptr;
  if (LOWORD(lParam)) {
    target = reinterpret_cast<HWND>(wParam);
  } else {
    HWND focus = GetFocus();
    target = GetNextDlgTabItem(window, focus && IsChild(window, focus) ? focus : nullptr, wParam != 0);
    // Reached by Tab, a text box has its whole text selected, as the dialog manager leaves it.
    if (target && (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)) SendMessageW(target, EM_SETSEL, 0, -1);
  }
  if (target) SetFocus(target);
}

}  // namespace quillet
