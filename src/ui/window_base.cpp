#include "ui/window_base.h"

#include <stdexcept>

#include "platform/win32/win32_system.h"
#include "platform/file_system.h"

namespace quillet {

RECT CenteredWindowRect(int clientWidth, int clientHeight, DWORD style, DWORD exStyle) {
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  return RECT{left, top, left + width, top + height};
}

void WindowBase::RegisterClassOnce(const wchar_t* className, ClassIcon classIcon, HBRUSH background) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (GetClassInfoExW(instance, className, &existing)) return;
  const HICON icon = classIcon == ClassIcon::Program
                         ? static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON, 0, 0,
                                                         LR_DEFAULTSIZE | LR_SHARED))
                         : nullptr;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = &WindowBase::WindowProc;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hIconSm = icon;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = background;
  wc.lpszClassName = className;
  RegisterClassExW(&wc);
}

HWND WindowBase::Create(DWORD exStyle, const wchar_t* className, const wchar_t* caption, DWORD style,
                        int x, int y, int width, int height, HWND parent, HMENU menu) {
  return CreateWindowExW(exStyle, className, caption, style, x, y, width, height, parent, menu,
                         GetModuleHandleW(nullptr), this);
}

void WindowBase::ReportHandlerFailure(const std::exception& error) {
  ShowErrorReport(hwnd_, error.what());
}

LRESULT CALLBACK WindowBase::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowBase* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<WindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<WindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);

  LRESULT result = 0;
  bool handled = false;
  try {
    handled = self->HandleMessage(message, wParam, lParam, result);
  } catch (const std::exception& error) {
    // A failed read or write ends the handler it arose in; the program goes on.
    self->ReportHandlerFailure(error);
    handled = false;
  } catch (...) {
    // Not one of the program's own failures, but a failure all the same: the user hears of it.
    self->ReportHandlerFailure(std::runtime_error("发生未知错误."));
    handled = false;
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    LRESULT r = DefWindowProcW(hwnd, message, wParam, lParam);
    self->OnFinalDestroy();
    return r;
  }
  return handled ? result : DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace quillet
