// Moving a borderless window by dragging its background: from a mouse-down on a control that
// carries the drag to the next mouse-up, the window follows the pointer in screen
// coordinates, so a drag runs the same from every carrying control wherever it sits.
#pragma once

#include <windows.h>
#include <windowsx.h>

namespace quillet {

struct WindowDrag {
  bool dragging = false;
  int dx = 0, dy = 0;  // the pointer's last screen position during a drag

  // A button press at a screen point; the right button never starts a drag.
  void MouseDown(HWND window, UINT button, POINT screen) {
    if (button == WM_RBUTTONDOWN) return;
    dragging = true;
    dx = screen.x;
    dy = screen.y;
    SetCapture(window);  // the drag goes on when the pointer outruns the window
  }
  void MouseMove(HWND window, POINT screen) {
    if (!dragging) return;
    RECT bounds{};
    GetWindowRect(window, &bounds);
    const int left = bounds.left + screen.x - dx, top = bounds.top + screen.y - dy;
    dx = screen.x;
    dy = screen.y;
    MoveWindow(window, left, top, bounds.right - bounds.left, bounds.bottom - bounds.top, TRUE);
  }
  // The window to the pointer where it is now. Under Wine a jump of the pointer past the
  // window's edge can come without a mouse move for the window that holds the capture; a
  // window with a timer running during a drag calls this on its ticks, so the drag still
  // follows. Nothing happens when the window no longer holds the capture.
  void Follow(HWND window) {
    if (!dragging || GetCapture() != window) return;
    POINT screen{};
    if (GetCursorPos(&screen) && (screen.x != dx || screen.y != dy)) MouseMove(window, screen);
  }
  void MouseUp() {
    if (!dragging) return;
    dragging = false;
    if (GetCapture()) ReleaseCapture();
  }

  // The mouse messages of a carrying window, its client coordinates taken to the screen.
  // True when the message was taken; a lost capture ends the drag but is left to the window.
  bool HandleMouseMessage(HWND window, UINT message, LPARAM lParam) {
    POINT screen{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
      case WM_MBUTTONDOWN:
      case WM_MBUTTONDBLCLK:
      case WM_RBUTTONDOWN:
        ClientToScreen(window, &screen);
        MouseDown(window, message, screen);
        return true;
      case WM_MOUSEMOVE:
        ClientToScreen(window, &screen);
        MouseMove(window, screen);
        return true;
      case WM_LBUTTONUP:
      case WM_MBUTTONUP:
      case WM_RBUTTONUP:
        MouseUp();
        return true;
      case WM_CAPTURECHANGED:
        dragging = false;
        return false;
      default:
        return false;
    }
  }
};

}  // namespace quillet
