// What the Windows tests do to a window from outside it: post a key press to a control, press
// keys and move the pointer as the real keyboard and mouse do, and read the pixels a device
// context shows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace quillet::testing {

// A key pressed and released on `target`, as the keyboard would post it there.
inline void PostKeyPress(HWND target, WORD virtualKey) {
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(target, WM_KEYDOWN, virtualKey, scan | 1);
  PostMessageW(target, WM_KEYUP, virtualKey, scan | 0xC0000001);
}

// The real pointer: a move to a screen point (with MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE) or
// a button going down or up where the pointer is. It reaches whichever window lies under the
// pointer or holds the capture, as a hand on the mouse would.
inline void SendPointer(DWORD flags, POINT at = {}) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  if (flags & MOUSEEVENTF_ABSOLUTE) {
    // Absolute coordinates run from 0 to 65535 across the primary screen.
    input.mi.dx = (at.x * 65535 + GetSystemMetrics(SM_CXSCREEN) / 2) / (GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = (at.y * 65535 + GetSystemMetrics(SM_CYSCREEN) / 2) / (GetSystemMetrics(SM_CYSCREEN) - 1);
  }
  SendInput(1, &input, sizeof input);
}

// A key pressed and released on the real keyboard while the keys in `held` (VK_SHIFT, ...)
// are held down around it; it goes to the control that has the keyboard focus.
inline void SendKeyPress(WORD virtualKey, const std::vector<WORD>& held = {}) {
  std::vector<INPUT> keys;
  auto add = [&keys](WORD key, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = flags;
    keys.push_back(input);
  };
  for (WORD key : held) add(key, 0);
  add(virtualKey, 0);
  add(virtualKey, KEYEVENTF_KEYUP);
  for (auto key = held.rbegin(); key != held.rend(); ++key) add(*key, KEYEVENTF_KEYUP);
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

// The pixels of `source` from (x, y), width x height, 0x00RRGGBB, top row first.
inline std::vector<std::uint32_t> CapturePixels(HDC source, int x, int y, int width, int height) {
  if (width <= 0 || height <= 0) return {};
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY | CAPTUREBLT);
  GdiFlush();
  const auto* first = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> pixels(first, first + static_cast<std::size_t>(width) * height);
  for (auto& pixel : pixels) pixel &= 0xFFFFFF;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return pixels;
}

}  // namespace quillet::testing
