// A window of the program shown modally over its owner: the add window, the feedback window
// and the about window. Each is made, shown and ended the same way; the window itself only
// builds its controls and handles its messages.
#pragma once

#include <windows.h>

#include <string>

#include "ui/window_base.h"

namespace quillet {

// The class, frame and client size of a modal window.
struct ModalWindowShape {
  const wchar_t* className = nullptr;
  HBRUSH background = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  int clientWidth = 0;
  int clientHeight = 0;
  std::wstring caption;
};

class ModalWindow : public WindowBase {
 protected:
  // Registers the class (with the program's icon), creates the window centred on the screen
  // with owner, shows it in front with the focus on InitialFocus(), and runs the program's
  // messages (owner taking no input) until EndModal; then destroys the window. False when the
  // window could not be created.
  bool RunModal(const ModalWindowShape& shape, HWND owner);
  // Ends the modal loop; the window is destroyed once the current message has been handled.
  void EndModal() { done_ = true; }

  // The control that has the focus when the window opens.
  virtual HWND InitialFocus() const = 0;
  // Sees every key and mouse message of the loop before the dialog manager does; true when it
  // used the message up.
  virtual bool PreTranslate(const MSG& /*message*/) { return false; }

 private:
  bool done_ = false;
};

}  // namespace quillet
