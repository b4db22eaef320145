// The Windows side of the platform operations the logic and the windows use.
#pragma once

#include <windows.h>
// The file-system members are named DeleteFile and ReplaceFile; see platform/file_system.h.
#undef DeleteFile
#undef ReplaceFile

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ansi_decoder.h"
#include "platform/file_system.h"

namespace quillet {

// Processes all pending window messages of this thread. A WM_QUIT met here is posted again,
// so the main message loop still ends.
void ProcessMessages();
// A hook that sees every message ProcessMessages (and the main loop, if it calls it) takes
// from the queue before it is translated and dispatched, e.g. for IsDialogMessage or
// accelerators; returning true means the message was handled. One hook per program.
void SetMessagePreTranslator(std::function<bool(MSG&)> preTranslate);
bool PreTranslate(MSG& message);
// True once ProcessMessages has met WM_QUIT: the program is ending.
bool QuitRequested();
// Waits while the window keeps working: MsgWaitForMultipleObjects on QS_ALLINPUT. endEarly,
// when given, is asked after the messages of each wake-up: true ends the wait at once.
void SleepWithoutFreeze(long long milliseconds, const std::function<bool()>& endEarly = nullptr);

class Win32FileSystem final : public FileSystem {
 public:
  // How a read or write waits between its tries while another program holds the file. By
  // default the wait handles the calling thread's messages meanwhile, so a window on that
  // thread goes on painting and answering; on a thread without windows it simply waits.
  using Pause = std::function<void(std::uint32_t milliseconds)>;
  explicit Win32FileSystem(Pause pause = [](std::uint32_t milliseconds) { SleepWithoutFreeze(milliseconds); });

  std::optional<std::string> ReadFile(const std::string& path) override;
  std::optional<std::string> ReadFileWithoutWaiting(const std::string& path) override;
  void ReplaceFile(const std::string& path, const std::string& bytes) override;
  void ReplaceFileWithoutWaiting(const std::string& path, const std::string& bytes) override;
  bool DeleteFile(const std::string& path) override;
  bool CreateFolder(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool ProbeWritable(const std::string& folderWithoutSeparator) override;

 private:
  void Replace(const std::string& path, const std::string& bytes, bool waitForHolder);
  Pause pause_;
};

class Win32DirectorySearch final : public DirectorySearch {
 public:
  bool List(const std::string& dir, const std::function<void(const DirectoryEntry&)>& visit) override;
  std::optional<FolderIdentity> Identify(const std::string& path) override;
};

// The system's ANSI code page (CP_ACP), for text files without a byte-order mark.
class Win32AnsiDecoder final : public AnsiDecoder {
 public:
  std::string ToUtf8(std::string_view bytes) const override;
};

class Win32FolderProbe final : public FolderProbe {
 public:
  Attributes GetAttributes(const std::string& path) override;
  bool OpenFollowingLink(const std::string& path) override;
};

// The clipboard as Unicode text ("" when it holds none) and replacing it with text.
std::string GetClipboardText(HWND owner);
void SetClipboardText(HWND owner, const std::string& text);


// The system's text for an error code, without trailing line breaks.
std::string SystemErrorText(DWORD code);
// The default error report: caption "Quillet", ErrorReportText(message), error icon, OK.
void ShowErrorReport(HWND owner, const std::string& message);

// Full path of the running program file, and its folder without a trailing "\".
std::wstring ProgramFilePath();
std::wstring ProgramFolder();
// The folder of a file's path without a trailing "\" ("" when the path names no folder).
std::wstring FolderOf(const std::wstring& path);
// The whole text of a window or control.
std::wstring WindowText(HWND window);
// SHGetFolderPathW(CSIDL_APPDATA); "" when it can't be determined.
std::string AppDataFolder();
// The environment variable, "" when unset.
std::string EnvironmentVariable(const char* name);
// The Windows version's major and minor numbers (6.0 Vista, 6.1 Windows 7, 10.0 Windows 10).
struct WindowsVersion { DWORD major = 0, minor = 0; };
WindowsVersion GetWindowsVersion();
DWORD WindowsMajorVersion();

}  // namespace quillet
