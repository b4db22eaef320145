// Child controls and their texts. Inside the program texts are UTF-8; they become UTF-16 here,
// at the window's edge, and nowhere else.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace quillet {

struct ControlArgs {
  DWORD exStyle = 0;
  const wchar_t* className = nullptr;
  std::wstring_view text;
  DWORD style = 0;  // WS_CHILD is always added; WS_VISIBLE for a control shown at once
  int id = 0;
  RECT place{};
  HFONT font = nullptr;  // none: the system font
};

// Creates a child control of parent, in its place, with its font.
HWND CreateControl(HWND parent, const ControlArgs& args);

// The text of parent's control id, as UTF-8.
std::string ControlTextUtf8(HWND parent, int id);
// Sets the text of parent's control id only when it differs, so a change handler runs only
// for a real change. True when the text changed.
bool SetControlText(HWND parent, int id, std::string_view text);

}  // namespace quillet
