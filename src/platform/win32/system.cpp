// Shell launches, the clipboard, message pumping and waits, system texts and paths.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <utility>

#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_system.h"
#include "util/responsive_wait.h"
#include "util/text.h"

namespace quillet {
namespace {

std::function<bool(MSG&)>& PreTranslator() {
  static std::function<bool(MSG&)> hook;
  return hook;
}

// A quit request belongs to the queue of one thread.
thread_local bool g_quitRequested = false;

// Another program may hold the clipboard for a moment (clipboard managers do); a few short
// retries ride that out, the window handling its messages in between.
bool OpenClipboardPatiently(HWND owner) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (OpenClipboard(owner)) return true;
    SleepWithoutFreeze(10);
  }
  return false;
}

struct ClipboardCloser {
  ~ClipboardCloser() { CloseClipboard(); }
};

}  // namespace

std::string GetClipboardText(HWND owner) {
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) return {};
  if (!OpenClipboardPatiently(owner)) return {};
  ClipboardCloser closer;
  const HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (!data) return {};
  const auto* text = static_cast<const wchar_t*>(GlobalLock(data));
  if (!text) return {};
  // A careless writer may leave out the final zero; never read past the block.
  const std::size_t capacity = GlobalSize(data) / sizeof(wchar_t);
  const std::wstring copy(text, wcsnlen(text, capacity));
  GlobalUnlock(data);
  return Narrow(copy);
}

void SetClipboardText(HWND owner, const std::string& text) {
  const std::wstring wide = Widen(text);
  const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!block) return;
  if (auto* target = static_cast<wchar_t*>(GlobalLock(block))) {
    std::wmemcpy(target, wide.c_str(), wide.size() + 1);
    GlobalUnlock(block);
  } else {
    GlobalFree(block);
    return;
  }
  if (!OpenClipboardPatiently(owner)) {
    GlobalFree(block);
    return;
  }
  ClipboardCloser closer;
  EmptyClipboard();
  // On success the clipboard owns the block.
  if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
}

void SetMessagePreTranslator(std::function<bool(MSG&)> preTranslate) {
  PreTranslator() = std::move(preTranslate);
}

bool PreTranslate(MSG& message) {
  const auto& hook = PreTranslator();
  return hook && hook(message);
}

bool QuitRequested() { return g_quitRequested; }

void ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The main loop owns the end of the program: hand the request back to it.
      g_quitRequested = true;
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void SleepWithoutFreeze(long long milliseconds, const std::function<bool()>& endEarly) {
  SleepWithoutFreezeLoop(
      milliseconds, [] { return static_cast<std::uint32_t>(GetTickCount()); },
      [](std::uint32_t timeout) {
        // Once the program is ending its quit request sits in the queue again after every
        // pass; waking on posted messages would then turn the rest of the wait into a spin.
        DWORD wakeMask = QS_ALLINPUT;
        if (g_quitRequested) wakeMask &= ~static_cast<DWORD>(QS_POSTMESSAGE | QS_ALLPOSTMESSAGE);
        return MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout, wakeMask) == WAIT_OBJECT_0;
      },
      ProcessMessages, endEarly);
}

std::string SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (length != 0 && buffer) text.assign(buffer, length);
  if (buffer) LocalFree(buffer);
  // The system's texts end in a line break and usually a full stop; the error report adds the
  // stop back itself.
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.pop_back();
  if (text.empty()) return "System error " + std::to_string(code);
  return Narrow(text);
}

void ShowErrorReport(HWND owner, const std::string& message) {
  MessageBoxW(owner, Widen(ErrorReportText(message)).c_str(), L"Quillet", MB_ICONERROR | MB_OK);
}

std::wstring ProgramFilePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // cut off: try again with more room
  }
}

std::wstring ProgramFolder() { return FolderOf(ProgramFilePath()); }

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
  return text;
}

std::string AppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return Narrow(path);
}

std::string EnvironmentVariable(const char* name) {
  const std::wstring wideName = Widen(name);
  std::wstring value(256, L'\0');
  for (;;) {
    const DWORD length =
        GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return {};
    if (length < value.size()) {
      value.resize(length);
      return Narrow(value);
    }
    value.resize(length);  // length counts the final zero here
  }
}

WindowsVersion GetWindowsVersion() {
  // GetVersionExW reports 6.2 to a program without the newest systems in its manifest;
  // RtlGetVersion always tells the truth.
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
    if (auto rtlGetVersion =
            reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))) {
      if (rtlGetVersion(&info) == 0) return {info.dwMajorVersion, info.dwMinorVersion};
    }
  }
  if (GetVersionExW(&info)) return {info.dwMajorVersion, info.dwMinorVersion};
  return {};
}

DWORD WindowsMajorVersion() { return GetWindowsVersion().major; }

}  // namespace quillet
