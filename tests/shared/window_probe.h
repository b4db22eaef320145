// What the Windows tests do to a window from outside it: post a key press to a control, and
// read the pixels a device context shows.
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
