// Base of the program's own windows: keeps `this` in GWLP_USERDATA from WM_NCCREATE on and
// hands every message to HandleMessage. No exception may leave a window procedure, so the
// dispatcher catches everything and reports it the way the program reports failed handlers.
#pragma once

#include <windows.h>

#include <exception>

namespace quillet {

// The outer rectangle of a window of this style whose client area is clientWidth x
// clientHeight, centred on the primary screen.
RECT CenteredWindowRect(int clientWidth, int clientHeight, DWORD style, DWORD exStyle);

class WindowBase {
 public:
  WindowBase() = default;
  WindowBase(const WindowBase&) = delete;
  WindowBase& operator=(const WindowBase&) = delete;
  virtual ~WindowBase() = default;

  HWND Handle() const { return hwnd_; }

 protected:
  enum class ClassIcon { None, Program };
  // Registers className once per process with WindowProc as its procedure. The program's icon
  // is loaded only then, as a shared icon the system keeps, so no opening leaks one.
  static void RegisterClassOnce(const wchar_t* className, ClassIcon icon, HBRUSH background);
  // CreateWindowExW with this object passed through lpCreateParams.
  HWND Create(DWORD exStyle, const wchar_t* className, const wchar_t* caption, DWORD style, int x,
              int y, int width, int height, HWND parent, HMENU menu);

  // Return true when handled (result set); false lets DefWindowProcW run.
  virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
  // Called with the exception of a handler; the default report is a message box.
  virtual void ReportHandlerFailure(const std::exception& error);
  // Called after WM_NCDESTROY; the handle is gone.
  virtual void OnFinalDestroy() {}

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND hwnd_ = nullptr;
};

}  // namespace quillet
