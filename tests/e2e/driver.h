// A small driver for the end-to-end tests: it starts the real quillet.exe in a private program
// folder and works it from outside, the way a user would, through window messages, the
// clipboard and the files the program writes. Everything that waits polls a condition with a
// time limit; nothing sleeps a fixed time where a condition can be watched.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../shared/web_addresses_to_recorder.h"
#include "e2e/in_process_probe.h"
#include "platform/win32/unique_handle.h"

namespace quillet::e2e {

// The usual limit of one wait; a shared, busy machine under Wine is slow, never this slow.
inline constexpr DWORD kWaitMs = 10000;

// Polls `condition` every few milliseconds until it holds or `timeout_ms` has passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms = kWaitMs);

// The built programs, as Windows paths (build paths given by the build as Unix paths are
// reached through Wine's Z: drive).
std::wstring QuilletExe();
std::wstring RecorderExe();
std::wstring ToWindowsPath(const std::string& build_path);

// An environment variable of this process; "" when it is not set.
std::wstring EnvironmentText(const wchar_t* name);

// CreateProcessW with the same arguments. Wine's server sometimes answers a process start with
// ERROR_INTERNAL_ERROR (1359) although nothing is wrong with the program or its command line;
// that one answer gets a second try, said in the test's output ("[ WINE RETRY ]"). Any other
// failure is returned as it is, with GetLastError() set.
BOOL StartProcess(const wchar_t* exe, std::wstring& command_line, const wchar_t* folder,
                  PROCESS_INFORMATION& info);

// The text of a window of any process (WM_GETTEXT); "" when it does not answer.
std::string WindowText(HWND window);

// A child window (at any depth) of `parent` with the given control ID.
HWND ChildById(HWND parent, int id);

// A key pressed and released on the real keyboard: it goes to whatever window is in front.
void SendRealKeyPress(WORD virtual_key);

std::string ReadFileBytes(const std::wstring& path);  // "" when missing
bool FileExists(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);

// The key=value lines of section [Settings] of a settings.ini text, in file order.
using IniKeys = std::map<std::string, std::string>;
IniKeys ParseSettings(const std::string& bytes);

// A launch seen by recorder.exe: the tick count at which the process was created, and the
// single argument it was given (empty optional when the command line was not
// <program> "<argument>").
struct Launch {
  std::uint64_t tick = 0;
  std::string command_line;
  std::optional<std::string> argument;
  // The command line split the Windows way (CommandLineToArgvW), as a program reading its
  // arguments with the C runtime sees them; the program's own name first.
  std::vector<std::string> arguments;
};
std::vector<Launch> ReadLaunches(const std::wstring& log_path);

// A process of this Wine session (or Windows desktop): its ID and its executable's file name
// as the system gives it (e.g. "quillet.exe").
struct RunningProcess {
  DWORD pid = 0;
  std::wstring exe_name;
};
// Every process now running; empty when the system gives no list.
std::vector<RunningProcess> RunningProcesses();

// Waits until no process with this executable name (e.g. L"recorder.exe") is running.
bool WaitForNoProcess(const wchar_t* exe_name, DWORD timeout_ms = kWaitMs);

// A message box of the program: its caption and text.
struct MessageBoxInfo {
  HWND window = nullptr;
  std::string caption;
  std::string text;
};

// Points the shell's "open" of https: and http: addresses at recorder.exe while it lives.
using quillet::test::WebAddressesToRecorder;

// One running (or startable) copy of quillet.exe in its own temporary program folder, so
// settings.ini and files.txt land there and no test sees another's.
class Program {
 public:
  Program();
  // The program folder gets this name under the temporary folder (e.g. one with blanks)
  // instead of a numbered one.
  explicit Program(const std::wstring& folder_name);
  // Works the copy of the program that already lies in a folder (an installed or unpacked
  // one), which is left as it is at the end.
  struct ExistingCopy {
    std::wstring folder;  // a full path, with or without the final "\"
  };
  explicit Program(const ExistingCopy& existing);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  const std::wstring& Folder() const { return folder_; }  // ends with "\"
  std::wstring PathInFolder(const std::wstring& name) const { return folder_ + name; }
  std::wstring SettingsPath() const { return PathInFolder(L"settings.ini"); }
  std::string SettingsBytes() const { return ReadFileBytes(SettingsPath()); }
  IniKeys Settings() const { return ParseSettings(SettingsBytes()); }
  void WriteSettings(const std::string& bytes) const { WriteFileBytes(SettingsPath(), bytes); }

  // Copies recorder.exe into the program folder and points its log there; returns the
  // recorder's path (the program to name in Edit1).
  std::wstring InstallRecorder();
  std::wstring RecorderLog() const { return PathInFolder(L"launches.log"); }
  std::vector<Launch> Launches() const { return ReadLaunches(RecorderLog()); }

  // Starts the program with the given arguments and waits until its main window is visible
  // and its message loop answers. Returns false (with the reason in `error`) if not.
  bool Start(const std::vector<std::wstring>& arguments = {});
  bool WaitForExit(DWORD timeout_ms = kWaitMs);
  bool Running() const;
  void Kill();
  // Takes over another running instance of the program with a visible main window (the one
  // the program started of itself on a restart path); false when none appears in time.
  bool AdoptOtherInstance(DWORD timeout_ms = kWaitMs);
  // The processes showing a main window of the program now, this one's included.
  static std::vector<DWORD> InstancesShowingAWindow();
  // Ends the program the way the user would (Exit1) and waits for the process to end.
  bool Exit();
  DWORD ProcessId() const { return pid_; }
  const std::string& Error() const { return error_; }

  // Lets the program's message loop catch up: returns once it has handled everything that
  // was sent to it before.
  void Sync() const;

  HWND Main() const { return main_; }
  HWND Control(int id) const;
  HWND List() const;

  std::string Text(HWND window) const;
  std::string Text(int id) const { return Text(Control(id)); }
  std::string Caption() const { return Text(main_); }
  void SetText(int id, const std::string& text) const;
  void SetText(HWND window, const std::string& text) const;
  // BM_GETCHECK of a check box or radio button.
  bool ButtonChecked(int id) const;
  // A main-menu item as the program has it, read inside its process (another process gets
  // nothing for a menu under Wine): its GetMenuState flags, and whether it carries the check
  // mark. Empty only when the probe could not answer, which ProbeError() explains.
  std::optional<UINT> MenuState(int command_id) const;
  std::optional<bool> MenuChecked(int command_id) const;
  // The ticks of the save timer (the one that writes files.txt, every second) that the
  // program has taken since the probe came into it; empty when the probe could not answer.
  std::optional<int> SaveTicks() const;
  // Waits until the program has handled `count` more of those ticks than when called. For a
  // check that something was not written: the ticks that would have written it have passed.
  bool WaitForSaveTicks(int count) const;
  std::string ProbeError() const;
  // BM_CLICK, sent: returns when the program has handled the click. Not for buttons that
  // open a modal window or start a long action.
  void Click(int id) const;
  // The same click, posted: returns at once.
  void PostClick(int id) const;
  static void PostClick(HWND button);
  // A menu command, posted.
  void Command(int command_id) const;
  // A key pressed and released on a window of the program, posted as the keyboard would
  // deliver it to the focused control.
  static void PressKey(HWND target, WORD virtual_key);
  // The control that has the keyboard focus in the program ("" when none).
  HWND Focused() const;
  // The real pointer: moved to the middle of a window, or a left click there (the program's
  // window is brought to the front first, as the user's click would).
  void MovePointerTo(HWND window) const;
  void ClickWithPointer(HWND window) const;
  // A key pressed and released on the real keyboard, with the program's window in front.
  void PressRealKey(WORD virtual_key) const;

  // The list through the program's own "全部复制" (the clipboard's text, split at CR LF).
  std::vector<std::string> Entries() const;
  // Puts text on the clipboard and pastes it with "粘贴"; waits until the entries arrived.
  bool Paste(const std::string& text, int expected_count) const;
  int ItemCount() const;
  bool Checked(int index) const;
  int Selected() const;
  void Select(int index) const;
  // Toggles the check mark of one entry with the space bar and waits for the change.
  bool ToggleCheck(int index) const;

  // Drops files on a window of the program (by default the list), as Explorer does.
  bool DropFiles(const std::vector<std::string>& paths, HWND target = nullptr) const;

  bool IsTopmost() const;
  // A visible top-level window of this process with the given class (and caption if given).
  HWND FindWindowOfClass(const wchar_t* class_name, const std::string* caption = nullptr) const;
  HWND WaitForWindow(const wchar_t* class_name, DWORD timeout_ms = kWaitMs) const;
  std::optional<MessageBoxInfo> WaitForMessageBox(DWORD timeout_ms = kWaitMs) const;
  bool AnyMessageBox() const;
  static void PressOk(HWND dialog);

 private:
  std::wstring folder_;
  bool ownsFolder_ = true;
  UniqueKernelHandle process_;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
  std::string error_;
  // Hooked into the main window's thread at the first question, until the next start.
  mutable std::unique_ptr<InProcessProbe> probe_;
  const InProcessProbe& Probe() const;
};

// Visible Notepad windows of any process whose caption names license.txt.
std::vector<HWND> LicenseNotepads();
// Closes them and waits for their processes to end.
void CloseLicenseNotepads();
// Waits for a Notepad window showing license.txt and returns the text it shows; nullopt when
// none appears in time.
std::optional<std::string> WaitForLicenseInNotepad();
// A license file's text as Notepad shows it: without its byte-order mark.
std::string LicenseFileText(const std::wstring& path);

// Saves a picture of the window (as on screen) as <name>.bmp in QUILLET_SCREENSHOT_DIR;
// without that variable nothing is saved. Returns the file written, or "". The window is
// repainted first unless repaint is false (for what a window draws outside its painting,
// which a repaint would wipe).
std::wstring SaveScreenshot(HWND window, const std::string& name, bool repaint = true);

}  // namespace quillet::e2e
