#include "ui/modal_window.h"

#include "ui/modal_loop.h"

namespace quillet {

bool ModalWindow::RunModal(const ModalWindowShape& shape, HWND owner) {
  RegisterClassOnce(shape.className, ClassIcon::Program, shape.background);
  const RECT place = CenteredWindowRect(shape.clientWidth, shape.clientHeight, shape.style, shape.exStyle);
  if (!Create(shape.exStyle, shape.className, shape.caption.c_str(), shape.style, place.left, place.top,
              place.right - place.left, place.bottom - place.top, owner, nullptr)) {
    return false;
  }
  const HWND window = Handle();
  ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
  SetFocus(InitialFocus());
  RunModalLoop(window, owner, done_, [this](const MSG& message) { return PreTranslate(message); });
  DestroyWindow(window);
  return true;
}

}  // namespace quillet
