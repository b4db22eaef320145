// The release package as a user or an administrator meets it (run through with-package.sh,
// which unpacks the portable zip): the portable copy keeps its settings beside itself and
// registers nothing; the installer puts the program, its shortcut and its uninstall entry in
// place silently, the installed program runs and opens its installed license, list files open
// in it from the shell with their own icon, and the silent uninstall takes it all away again
// but keeps the user's settings (and list files another program took over); a running copy
// stops both installer and uninstaller.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/control_ids.h"
#include "ui/resource_ids.h"
#include "e2e/driver.h"
#include "shared/window_probe.h"
#include "util/text.h"

namespace quillet::e2e {
namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KALMIRO Quillet";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kLogOnValue[] = L"KALMIRO - Quillet";
constexpr DWORD kInstallerWaitMs = 60000;
// The file type the installer registers for every user of the machine.
constexpr wchar_t kClasses[] = L"Software\\Classes\\";
constexpr wchar_t kListExtension[] = L".qlst";
constexpr wchar_t kListType[] = L"Quillet.List";

std::wstring KnownFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

std::wstring InstallFolder() { return KnownFolder(CSIDL_PROGRAM_FILES) + L"\\KALMIRO\\Quillet\\"; }
std::wstring Shortcut() { return KnownFolder(CSIDL_COMMON_PROGRAMS) + L"\\Quillet.lnk"; }

std::optional<std::string> UninstallValue(const wchar_t* name) {
  wchar_t data[1024] = {};
  DWORD size = sizeof data;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, name, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, data,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return Narrow(data);
}

bool UninstallEntryExists() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// A text value under HKLM\Software\Classes (name nullptr: the key's default value); nullopt
// when the key or the value is missing.
std::optional<std::wstring> ClassesValue(const std::wstring& key, const wchar_t* name) {
  wchar_t data[1024] = {};
  DWORD size = sizeof data;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, (kClasses + key).c_str(), name, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY,
                   nullptr, data, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(data);
}

bool ClassesKeyExists(const std::wstring& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kClasses + key).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &opened) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(opened);
  return true;
}

// Another program's claim on list files, as its installer would write it.
void ClaimListFilesFor(const wchar_t* type) {
  const std::wstring key = std::wstring(kClasses) + kListExtension;
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, type,
                  static_cast<DWORD>((wcslen(type) + 1) * sizeof(wchar_t)));
}

void DeleteListFileTypes() {
  for (const std::wstring& key : {std::wstring(kListExtension), std::wstring(kListType)}) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kClasses + key).c_str());
  }
}

// An icon drawn on white at size x size, 0x00RRGGBB, top row first; empty without an icon.
std::vector<std::uint32_t> IconPixels(HICON icon, int size) {
  if (!icon) return {};
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
  HGDIOBJ old = SelectObject(memory, bitmap);
  RECT all{0, 0, size, size};
  FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  std::vector<std::uint32_t> pixels = testing::CapturePixels(memory, 0, 0, size, size);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// A list file with two checked entries and an unchecked one between them; nothing opens when
// the program loads it.
void WriteListFile(const std::wstring& path) {
  WriteFileBytes(path,
                 "\xEF\xBB\xBF[SETTINGS]\r\nAutoOpenList=No\r\n[FILES]\r\nC:\\a b\\第一.txt\r\n*unchecked\r\n"
                 "C:\\第二\r\n");
}

// A folder of list files in the system's file manager, in the details view and with large
// icons, for a look at the list icon there. Only with screenshots on; nothing is checked.
void LookAtListFilesInTheFileManager(const std::wstring& folder) {
  if (EnvironmentText(L"QUILLET_SCREENSHOT_DIR").empty()) return;
  std::wstring command_line = L"explorer.exe /root," + folder;
  PROCESS_INFORMATION info = {};
  if (!StartProcess(nullptr, command_line, nullptr, info)) {
    ADD_FAILURE() << "the file manager did not start";
    return;
  }
  CloseHandle(info.hThread);
  struct Search {
    DWORD pid;
    HWND window, list;
  } search{info.dwProcessId, nullptr, nullptr};
  WaitUntil([&] {
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          if (owner != s->pid || !IsWindowVisible(window)) return TRUE;
          s->window = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.window) return false;
    EnumChildWindows(
        search.window,
        [](HWND child, LPARAM param) -> BOOL {
          wchar_t name[32] = {};
          GetClassNameW(child, name, 32);
          if (std::wstring(name) != WC_LISTVIEWW) return TRUE;
          reinterpret_cast<Search*>(param)->list = child;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.list && SendMessageW(search.list, LVM_GETITEMCOUNT, 0, 0) > 0;
  });
  if (search.window) {
    Sleep(500);  // the icons come in after the names
    SaveScreenshot(search.window, "file-manager-list-details");
    if (search.list) SendMessageW(search.list, LVM_SETVIEW, LV_VIEW_ICON, 0);
    Sleep(500);
    SaveScreenshot(search.window, "file-manager-list-icons");
    PostMessageW(search.window, WM_CLOSE, 0, 0);
  }
  if (WaitForSingleObject(info.hProcess, kWaitMs) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
  CloseHandle(info.hProcess);
}

// The log-on value's text; empty when it is missing.
std::wstring RunValue() {
  wchar_t data[1024] = {};
  DWORD size = sizeof data;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kLogOnValue, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
    return {};
  }
  return data;
}

// Runs a program with a command line and waits for it; its exit code, or nullopt when it could
// not start or did not end in time.
std::optional<DWORD> RunAndWait(const std::wstring& exe, const std::wstring& arguments) {
  std::wstring command_line = L"\"" + exe + L"\" " + arguments;
  PROCESS_INFORMATION info = {};
  if (!StartProcess(exe.c_str(), command_line, nullptr, info)) {
    return std::nullopt;
  }
  CloseHandle(info.hThread);
  std::optional<DWORD> code;
  if (WaitForSingleObject(info.hProcess, kInstallerWaitMs) == WAIT_OBJECT_0) {
    DWORD exit_code = 0;
    GetExitCodeProcess(info.hProcess, &exit_code);
    code = exit_code;
  } else {
    TerminateProcess(info.hProcess, 1);
  }
  CloseHandle(info.hProcess);
  return code;
}

// A visible dialog of the process, with its caption and the text of its message.
struct Dialog {
  HWND window = nullptr;
  std::string caption, text;
};
std::optional<Dialog> WaitForDialogOf(DWORD pid) {
  Dialog dialog;
  const bool found = WaitUntil([&] {
    struct Search {
      DWORD pid;
      HWND found;
    } search{pid, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          wchar_t name[16] = {};
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          GetClassNameW(window, name, 16);
          if (owner == s->pid && IsWindowVisible(window) && std::wstring(name) == L"#32770") {
            s->found = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    dialog.window = search.found;
    return search.found != nullptr;
  }, kInstallerWaitMs);
  if (!found) return std::nullopt;
  wchar_t text[1024] = {};
  GetWindowTextW(dialog.window, text, 1024);
  dialog.caption = Narrow(text);
  WaitUntil([&] {
    text[0] = 0;
    GetWindowTextW(GetDlgItem(dialog.window, 0xFFFF), text, 1024);
    dialog.text = Narrow(text);
    return !dialog.text.empty();
  }, 5000);
  return dialog;
}

// Processes of the program or of its uninstaller: the uninstaller runs on from a copy of itself
// in the temporary folder, named "Un.exe" (Debian's NSIS 3.08), or "Un_" or "Au_" and a letter,
// depending on the NSIS version.
std::vector<std::string> PackageProcesses() {
  const auto processes = RunningProcesses();
  if (processes.empty()) return {"<no process list>"};
  std::vector<std::string> names;
  for (const RunningProcess& process : processes) {
    const std::string name = AsciiLower(Narrow(process.exe_name));
    if (name == "quillet.exe" || name == "uninstall.exe" || name == "un.exe" || name.rfind("un_", 0) == 0 ||
        name.rfind("au_", 0) == 0) {
      names.push_back(name);
    }
  }
  return names;
}

// Runs the installed uninstaller silently and waits until it is done: it runs on from a copy of
// itself in the temporary folder.
void UninstallSilently(const std::wstring& folder) {
  ASSERT_EQ(RunAndWait(folder + L"uninstall.exe", L"/S"), DWORD{0});
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(folder + L"quillet.exe") && !UninstallEntryExists(); },
                        kInstallerWaitMs))
      << "the uninstaller did not finish";
  std::vector<std::string> left;
  EXPECT_TRUE(WaitUntil([&] {
    left = PackageProcesses();
    return left.empty();
  }, kInstallerWaitMs)) << "still running: " << (left.empty() ? "" : left[0]);
}

class Package : public ::testing::Test {
 protected:
  void SetUp() override {
    if (EnvironmentText(L"QUILLET_E2E_SETUP_EXE").empty()) GTEST_SKIP() << "run through with-package.sh";
    setup_ = EnvironmentText(L"QUILLET_E2E_SETUP_EXE");
    portable_ = EnvironmentText(L"QUILLET_E2E_PORTABLE_DIR");
  }
  // Takes away what an earlier, interrupted run may have left installed.
  static void RemoveInstalled() {
    const std::wstring uninstaller = InstallFolder() + L"uninstall.exe";
    if (FileExists(uninstaller)) RunAndWait(uninstaller, L"/S _?=" + InstallFolder());
    for (const wchar_t* name : {L"quillet.exe", L"license.txt", L"uninstall.exe", L"settings.ini", L"files.txt"}) {
      DeleteFileW((InstallFolder() + name).c_str());
    }
    RemoveDirectoryW(InstallFolder().c_str());
  }

  std::wstring setup_, portable_;
};

TEST_F(Package, ThePortableZipHoldsTheProgramAndItsLicenseAndKeepsItsSettingsBesideIt) {
  RemoveInstalled();
  DeleteListFileTypes();
  EXPECT_EQ(Narrow(EnvironmentText(L"QUILLET_E2E_ZIP_LISTING")), "quillet.exe license.txt");
  Program program(Program::ExistingCopy{portable_});
  ASSERT_FALSE(FileExists(program.SettingsPath()));
  ASSERT_TRUE(program.Start()) << program.Error();
  EXPECT_EQ(program.Caption(), "KALMIRO - Quillet");
  // The writability probe finds the unpacked folder writable.
  EXPECT_TRUE(WaitUntil([&] { return FileExists(program.SettingsPath()); })) << "no settings.ini beside the program";
  EXPECT_TRUE(program.Exit());
  // Only the installer ties list files to a program: the portable copy leaves them alone.
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (const wchar_t* key : {L"Software\\Classes\\.qlst", L"Software\\Classes\\Quillet.List"}) {
      HKEY opened = nullptr;
      EXPECT_NE(RegOpenKeyExW(root, key, 0, KEY_READ, &opened), ERROR_SUCCESS) << Narrow(key);
      if (opened) RegCloseKey(opened);
    }
  }
}

TEST_F(Package, SilentInstallRunsTheProgramAndSilentUninstallTakesItAwayButKeepsTheSettings) {
  RemoveInstalled();
  ASSERT_EQ(RunAndWait(setup_, L"/S"), DWORD{0}) << "the silent install failed";

  const std::wstring folder = InstallFolder();
  for (const wchar_t* name : {L"quillet.exe", L"license.txt", L"uninstall.exe"}) {
    EXPECT_TRUE(FileExists(folder + name)) << Narrow(name);
  }
  EXPECT_EQ(ReadFileBytes(folder + L"quillet.exe"), ReadFileBytes(portable_ + L"\\quillet.exe"));
  EXPECT_TRUE(FileExists(Shortcut()));
  EXPECT_EQ(UninstallValue(L"DisplayName"), "Quillet");
  EXPECT_EQ(UninstallValue(L"DisplayVersion"), "3.1");
  EXPECT_EQ(UninstallValue(L"Publisher"), "KALMIRO");
  EXPECT_EQ(UninstallValue(L"DisplayIcon"), Narrow(folder) + "quillet.exe,0");
  std::string uninstaller = "\"";
  uninstaller.append(Narrow(folder)).append("uninstall.exe\"");
  EXPECT_EQ(UninstallValue(L"UninstallString"), uninstaller);
  EXPECT_EQ(UninstallValue(L"QuietUninstallString"), uninstaller + " /S");

  {
    // The installed program starts, and "许可证" opens the installed license.txt.
    CloseLicenseNotepads();
    Program program(Program::ExistingCopy{folder});
    ASSERT_TRUE(program.Start()) << program.Error();
    program.Command(IDM_ABOUT1);
    HWND about = program.WaitForWindow(QUILLET_ABOUT_CLASS);
    ASSERT_TRUE(about) << "no about window";
    PostMessageW(about, WM_COMMAND, IDM_LICENSEPRIVACYPOLICY1, 0);
    const std::optional<std::string> shown = WaitForLicenseInNotepad();
    ASSERT_TRUE(shown) << "no Notepad window with license.txt";
    EXPECT_EQ(*shown, LicenseFileText(folder + L"license.txt"));
    CloseLicenseNotepads();
    PostMessageW(about, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !program.FindWindowOfClass(QUILLET_ABOUT_CLASS); }));
    EXPECT_TRUE(program.Exit());
  }
  // Program Files is writable under Wine, so the settings went beside the program.
  ASSERT_TRUE(FileExists(folder + L"settings.ini"));
  {
    // Start at log-on from under Program Files: the path holds blanks, so the value quotes it
    // (unquoted, Windows would try C:\Program.exe first).
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kLogOnValue);
    Program program(Program::ExistingCopy{folder});
    ASSERT_TRUE(program.Start()) << program.Error();
    program.Command(IDM_AUTORUNATSTARTUP1);
    const std::wstring quoted = L"\"" + folder + L"quillet.exe\"";
    EXPECT_TRUE(WaitUntil([&] { return RunValue() == quoted; })) << "log-on value: " << Narrow(RunValue());
    EXPECT_TRUE(program.Exit());
  }

  UninstallSilently(folder);
  for (const wchar_t* name : {L"quillet.exe", L"license.txt", L"uninstall.exe"}) {
    EXPECT_FALSE(FileExists(folder + name)) << Narrow(name);
  }
  EXPECT_FALSE(FileExists(Shortcut()));
  EXPECT_FALSE(UninstallEntryExists());
  EXPECT_NE(RegGetValueW(HKEY_CURRENT_USER, kRunKey, kLogOnValue, RRF_RT_ANY, nullptr, nullptr, nullptr),
            ERROR_SUCCESS)
      << "the log-on value is left behind";
  EXPECT_TRUE(FileExists(folder + L"settings.ini")) << "a silent uninstall keeps the user's settings";
  RemoveInstalled();
}

TEST_F(Package, ListFilesOpenInTheInstalledProgramWithTheirIconUntilItIsUninstalled) {
  RemoveInstalled();
  DeleteListFileTypes();
  ASSERT_EQ(RunAndWait(setup_, L"/S"), DWORD{0}) << "the silent install failed";
  const std::wstring folder = InstallFolder();
  const std::wstring exe = folder + L"quillet.exe";
  const std::wstring type = kListType;
  const struct {
    std::wstring key;
    const wchar_t* name;
    std::wstring expected;
  } values[] = {
      {kListExtension, nullptr, type},
      {kListExtension + std::wstring(L"\\OpenWithProgids"), kListType, L""},
      {type, nullptr, L"Quillet 列表"},
      {type + L"\\DefaultIcon", nullptr, L"\"" + exe + L"\"," + std::to_wstring(-IDI_LIST_DOCUMENT)},
      {type + L"\\shell\\open\\command", nullptr, L"\"" + exe + L"\" \"%1\""},
  };
  for (const auto& value : values) {
    EXPECT_EQ(Narrow(ClassesValue(value.key, value.name).value_or(L"<missing>")), Narrow(value.expected))
        << Narrow(value.key) << " " << (value.name ? Narrow(value.name) : "(default)");
  }

  // The icon the registry names is the program's list icon, in the large and the small size (Wine
  // scales the small one from another of its sizes, so only the large one is compared with the
  // drawing).
  const std::wstring icon = ClassesValue(type + L"\\DefaultIcon", nullptr).value_or(L"");
  const std::size_t comma = icon.rfind(L',');
  ASSERT_NE(comma, std::wstring::npos) << Narrow(icon);
  std::wstring icon_file = icon.substr(0, comma);
  if (icon_file.size() >= 2 && icon_file.front() == L'"' && icon_file.back() == L'"') {
    icon_file = icon_file.substr(1, icon_file.size() - 2);
  }
  HICON large = nullptr, small = nullptr;
  ExtractIconExW(icon_file.c_str(), _wtoi(icon.c_str() + comma + 1), &large, &small, 1);
  ASSERT_TRUE(large && small) << "no icon at " << Narrow(icon);
  const int size = GetSystemMetrics(SM_CXICON);
  HICON drawn = static_cast<HICON>(
      LoadImageW(nullptr, ToWindowsPath(QUILLET_LIST_ICON_FILE).c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
  ASSERT_TRUE(drawn) << "list.ico";
  EXPECT_EQ(IconPixels(large, size), IconPixels(drawn, size)) << "not the list icon";
  DestroyIcon(drawn);
  DestroyIcon(large);
  DestroyIcon(small);

  // Opened through the shell as a double-click in Explorer does, with the default verb and
  // with "open": the installed program starts with the list loaded.
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring lists = std::wstring(temp) + L"Quillet 列表 shell\\";
  CreateDirectoryW(lists.c_str(), nullptr);
  const std::wstring list = lists + L"我的 列表.qlst";
  WriteListFile(list);
  WriteFileBytes(lists + L"other.txt", "not a list\r\n");
  for (const wchar_t* verb : {static_cast<const wchar_t*>(nullptr), L"open"}) {
    SCOPED_TRACE(verb ? "verb open" : "default verb");
    const auto started =
        reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, verb, list.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    ASSERT_GT(started, 32) << "the shell could not open the list file";
    Program program(Program::ExistingCopy{folder});
    ASSERT_TRUE(program.AdoptOtherInstance()) << "the program did not start";
    ASSERT_TRUE(WaitUntil([&] { return program.ItemCount() == 3; })) << "the list was not loaded";
    EXPECT_EQ(program.Entries(), (std::vector<std::string>{"C:\\a b\\第一.txt", "unchecked", "C:\\第二"}));
    EXPECT_TRUE(program.Checked(0));
    EXPECT_FALSE(program.Checked(1));
    EXPECT_TRUE(program.Checked(2));
    EXPECT_TRUE(program.Exit());
  }
  LookAtListFilesInTheFileManager(lists);

  UninstallSilently(folder);
  EXPECT_FALSE(ClassesKeyExists(kListExtension));
  EXPECT_FALSE(ClassesKeyExists(kListType));
  for (const wchar_t* name : {L"我的 列表.qlst", L"other.txt"}) DeleteFileW((lists + name).c_str());
  RemoveDirectoryW(lists.c_str());
  RemoveInstalled();
}

// List files another program took over after the install stay with it: the uninstaller takes
// away only what is still the program's own.
TEST_F(Package, UninstallLeavesListFilesToAProgramThatTookThemOver) {
  RemoveInstalled();
  DeleteListFileTypes();
  ASSERT_EQ(RunAndWait(setup_, L"/S"), DWORD{0}) << "the silent install failed";
  ClaimListFilesFor(L"Other.Lists");
  UninstallSilently(InstallFolder());
  EXPECT_EQ(Narrow(ClassesValue(kListExtension, nullptr).value_or(L"<missing>")), "Other.Lists");
  EXPECT_FALSE(ClassesValue(kListExtension + std::wstring(L"\\OpenWithProgids"), kListType).has_value());
  EXPECT_FALSE(ClassesKeyExists(kListType));
  DeleteListFileTypes();
  RemoveInstalled();
}

TEST_F(Package, ARunningCopyStopsTheInstallerUntilItIsClosed) {
  RemoveInstalled();
  Program running(Program::ExistingCopy{portable_});
  ASSERT_TRUE(running.Start()) << running.Error();

  // Silent: nothing is installed and the exit code says so.
  const std::optional<DWORD> silent = RunAndWait(setup_, L"/S");
  ASSERT_TRUE(silent.has_value());
  EXPECT_NE(*silent, DWORD{0});
  EXPECT_FALSE(FileExists(InstallFolder() + L"quillet.exe"));

  // With its pages: the user is asked to close the program first, and may give up.
  PROCESS_INFORMATION info = {};
  std::wstring command_line = L"\"" + setup_ + L"\"";
  ASSERT_TRUE(StartProcess(setup_.c_str(), command_line, nullptr, info));
  CloseHandle(info.hThread);
  const std::optional<Dialog> asked = WaitForDialogOf(info.dwProcessId);
  ASSERT_TRUE(asked.has_value()) << "no question from the installer";
  EXPECT_NE(asked->text.find("Quillet 正在运行"), std::string::npos) << asked->text;
  SaveScreenshot(asked->window, "installer-program-running");
  PostMessageW(asked->window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_EQ(WaitForSingleObject(info.hProcess, kInstallerWaitMs), WAIT_OBJECT_0);
  CloseHandle(info.hProcess);
  EXPECT_FALSE(FileExists(InstallFolder() + L"quillet.exe"));
  EXPECT_TRUE(running.Exit());
}

}  // namespace
}  // namespace quillet::e2e
