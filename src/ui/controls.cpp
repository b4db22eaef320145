#include "ui/controls.h"

#include <string>

#include "platform/win32/win32_system.h"
#include "util/text.h"

namespace quillet {

HWND CreateControl(HWND parent, const ControlArgs& args) {
  const std::wstring text(args.text);
  HWND control = CreateWindowExW(args.exStyle, args.className, text.c_str(), WS_CHILD | args.style,
                                 args.place.left, args.place.top, args.place.right - args.place.left,
                                 args.place.bottom - args.place.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.id)), GetModuleHandleW(nullptr),
                                 nullptr);
  if (control && args.font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(args.font), FALSE);
  return control;
}

std::string ControlTextUtf8(HWND parent, int id) { return Narrow(WindowText(GetDlgItem(parent, id))); }

bool SetControlText(HWND parent, int id, std::string_view text) {
  HWND control = GetDlgItem(parent, id);
  const std::wstring wide = Widen(text);
  if (WindowText(control) == wide) return false;
  SetWindowTextW(control, wide.c_str());
  return true;
}

}  // namespace quillet
