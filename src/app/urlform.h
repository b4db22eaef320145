// The add window TAddURL: a multi-line box whose non-blank lines become entries.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quillet {

// Shows a fresh add window modally over owner with initialText in Memo1 ("http://" for
// "添加网址", "" for "添加任何内容"). Returns the lines to add, in order and untrimmed, that
// are not blank when trimmed; nothing when the window was cancelled ("取消", Esc, closed).
std::vector<std::string> ShowAddUrlWindow(HWND owner, const std::wstring& initialText);

}  // namespace quillet
