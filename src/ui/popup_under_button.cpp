#include "ui/popup_under_button.h"

#include "ui/popup_guard.h"

namespace quillet {
namespace {

// One guard for every button: only the menu that closed last can be closed by a click.
PopupGuard& SharedPopupGuard() {
  static PopupGuard guard;
  return guard;
}

}  // namespace

void PopupUnderButton(HWND owner, HWND button, HMENU menu) {
  PopupGuard& guard = SharedPopupGuard();
  if (guard.ShouldSwallow(button, menu, GetTickCount())) return;
  RECT client{};
  GetClientRect(button, &client);
  POINT corner{0, client.bottom};
  ClientToScreen(button, &corner);
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, corner.x, corner.y, 0, owner, nullptr);
  guard.MenuClosed(button, menu, GetTickCount());
}

}  // namespace quillet
