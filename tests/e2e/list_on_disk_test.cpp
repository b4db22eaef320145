// The list on disk and the ties to Windows, seen from outside: a list file named on the command
// line, the remembered list across a restart, start at log-on in the real registry, reset to
// defaults, the elevated start and the restart as administrator, the file dialogs, and the
// list files that join the system's recent documents.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/control_ids.h"
#include "e2e/driver.h"
#include "util/text.h"

namespace quillet::e2e {
namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kLogOnValue[] = L"KALMIRO - Quillet";

// The log-on value's text, or nothing when it is missing.
std::optional<std::wstring> LogOnValue() {
  wchar_t data[1024] = {};
  DWORD size = sizeof data;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kLogOnValue, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(data);
}

void DeleteLogOnValue() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kLogOnValue); }

std::string Utf8Lines(const std::vector<std::string>& lines) {
  std::string bytes = "\xEF\xBB\xBF";
  for (const std::string& line : lines) bytes += line + "\r\n";
  return bytes;
}

std::string NamedProgramSettings(const std::wstring& program, const std::string& more = "") {
  return "\xEF\xBB\xBF[Settings]\r\nOpenWith=" + Narrow(program) + "\r\nOpenWithDefaults=OFF\r\n" + more + "\r\n";
}

TEST(CommandLine, AListFileWithAutoOpenListOpensItsCheckedEntriesAtOnce) {
  Program program;
  const std::wstring recorder = program.InstallRecorder();
  program.WriteSettings(NamedProgramSettings(recorder, "AutoOpenList=0\r\nRemember=0\r\n"));
  const std::wstring list = program.PathInFolder(L"开机 列表.qlst");
  WriteFileBytes(list, Utf8Lines({"[SETTINGS]", "Wait=400", "AutoOpenList=Yes", "[FILES]", "C:\\a b\\第一.txt",
                                  "*skipped", "https://example.com/?q=1"}));
  ASSERT_TRUE(program.Start({list})) << program.Error();

  ASSERT_TRUE(WaitUntil([&] { return program.Launches().size() == 2; }, 20000)) << "the list was not opened";
  ASSERT_TRUE(WaitForNoProcess(L"recorder.exe"));
  const auto launches = program.Launches();
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(launches[0].argument.value_or("?"), "C:\\a b\\第一.txt");
  EXPECT_EQ(launches[1].argument.value_or("?"), "https://example.com/?q=1");
  EXPECT_EQ(program.Entries(), (std::vector<std::string>{"C:\\a b\\第一.txt", "skipped", "https://example.com/?q=1"}));
  EXPECT_FALSE(program.Checked(1));
  // The list file's option is for this session only; settings.ini keeps its own. Its wait is
  // the wait box's, stored as such.
  EXPECT_EQ(program.Settings()["AutoOpenList"], "0");
  EXPECT_EQ(program.Settings()["Wait"], "400");
  EXPECT_TRUE(WaitUntil([&] {
    return ReadFileBytes(program.PathInFolder(L"files.txt")) ==
           Utf8Lines({"C:\\a b\\第一.txt", "skipped", "https://example.com/?q=1"});
  })) << "files.txt does not hold the list file's entries";
  EXPECT_TRUE(program.Exit());
}

TEST(CommandLine, TwoListFilesBecomeTwoEntriesAndNeitherIsRead) {
  Program program;
  const std::wstring first = program.PathInFolder(L"one.qlst"), second = program.PathInFolder(L"two.QLST");
  WriteFileBytes(first, Utf8Lines({"[FILES]", "inside one"}));
  WriteFileBytes(second, Utf8Lines({"[FILES]", "inside two"}));
  ASSERT_TRUE(program.Start({first, second})) << program.Error();
  EXPECT_TRUE(WaitUntil([&] { return program.ItemCount() == 2; }));
  program.Sync();
  EXPECT_EQ(program.Entries(), (std::vector<std::string>{Narrow(first), Narrow(second)}));
  EXPECT_TRUE(program.Checked(0) && program.Checked(1));
  EXPECT_TRUE(program.Exit());
}

// The remembered list is loaded first; a list file on the command line that can't be read then
// leaves it in place, and files.txt with it.
TEST(CommandLine, AListFileThatCannotBeReadShowsTheErrorAndKeepsTheRememberedList) {
  Program program;
  const std::wstring recorder = program.InstallRecorder();
  program.WriteSettings(NamedProgramSettings(recorder, "AutoOpenList=1\r\nRemember=1\r\n"));
  const std::string remembered = Utf8Lines({"C:\\kept 1.txt", "C:\\kept 2.txt"});
  WriteFileBytes(program.PathInFolder(L"files.txt"), remembered);
  const std::wstring missing = program.PathInFolder(L"missing.qlst");
  ASSERT_TRUE(program.Start({missing})) << program.Error();
  auto box = program.WaitForMessageBox();
  ASSERT_TRUE(box) << "no error report";
  EXPECT_EQ(box->caption, "Quillet");
  // It names what failed and the file, then the system's text.
  EXPECT_EQ(box->text.rfind("无法读取列表文件 \"" + Narrow(missing) + "\".\r\r", 0), 0u) << box->text;
  EXPECT_EQ(box->text.back(), '.');
  SaveScreenshot(box->window, "list-file-unreadable");
  Program::PressOk(box->window);
  program.Sync();
  EXPECT_EQ(program.Entries(), (std::vector<std::string>{"C:\\kept 1.txt", "C:\\kept 2.txt"}));
  // Two save ticks later files.txt is still the remembered list. Nothing was opened: an
  // opening run would have started before the report, and a recorder it started has logged
  // its launch once it is gone.
  ASSERT_TRUE(program.WaitForSaveTicks(2)) << program.ProbeError();
  EXPECT_EQ(ReadFileBytes(program.PathInFolder(L"files.txt")), remembered);
  ASSERT_TRUE(WaitForNoProcess(L"recorder.exe"));
  EXPECT_TRUE(program.Launches().empty());
  EXPECT_FALSE(program.AnyMessageBox());
  EXPECT_TRUE(program.Exit());
}

// files.txt that another program holds at start is not lost: the user is told, nothing
// overwrites it meanwhile, and the remembered entries come in once it is free, in front of
// what the user added in between.
TEST(RememberedList, AFileHeldByAnotherProgramAtStartComesInOnceItIsFree) {
  Program program;
  program.WriteSettings("\xEF\xBB\xBF[Settings]\r\nRemember=1\r\n\r\n");
  const std::wstring filesTxt = program.PathInFolder(L"files.txt");
  const std::string remembered = Utf8Lines({"kept 1", "kept 2"});
  WriteFileBytes(filesTxt, remembered);
  HANDLE held = CreateFileW(filesTxt.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(program.Start()) << program.Error();
  auto box = program.WaitForMessageBox();
  ASSERT_TRUE(box) << "the user was not told";
  EXPECT_EQ(box->caption, "警告");
  EXPECT_EQ(box->text.rfind("无法读取记住的列表 \"" + Narrow(filesTxt) + "\".\r\r", 0), 0u) << box->text;
  EXPECT_EQ(box->text.find("无法读取记住的列表", 1), std::string::npos) << "said twice: " << box->text;
  SaveScreenshot(box->window, "remembered-list-held");
  Program::PressOk(box->window);
  ASSERT_TRUE(program.Paste("added meanwhile\r\n", 1));
  // A save that fails is reported at the fifth failing tick in a row; five ticks pass without
  // a report only when none tried to write the held file.
  ASSERT_TRUE(program.WaitForSaveTicks(5)) << program.ProbeError();
  EXPECT_FALSE(program.AnyMessageBox()) << "a save was tried while the file was held";
  // Read through the holding handle: once it is closed, the next tick may write.
  std::string heldBytes(remembered.size() + 1, '\0');
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(held, heldBytes.data(), static_cast<DWORD>(heldBytes.size()), &read, nullptr));
  heldBytes.resize(read);
  CloseHandle(held);
  EXPECT_EQ(heldBytes, remembered);
  EXPECT_TRUE(WaitUntil([&] { return program.ItemCount() == 3; })) << "the remembered list did not come in";
  program.Sync();
  EXPECT_EQ(program.Entries(), (std::vector<std::string>{"kept 1", "kept 2", "added meanwhile"}));
  EXPECT_TRUE(WaitUntil([&] { return ReadFileBytes(filesTxt) == Utf8Lines({"kept 1", "kept 2", "added meanwhile"}); }))
      << ReadFileBytes(filesTxt);
  EXPECT_TRUE(program.Exit());
}

TEST(RememberedList, ComesBackAfterARestartWithEveryEntryChecked) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  program.Command(IDM_REMEMBER1);
  ASSERT_TRUE(WaitUntil([&] { return program.Settings()["Remember"] == "1"; }));
  ASSERT_TRUE(program.Paste("第一\r\n\r\nC:\\a b\r\n", 3));
  ASSERT_TRUE(program.ToggleCheck(2));
  const std::string expected = Utf8Lines({"第一", "", "C:\\a b"});
  ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(program.PathInFolder(L"files.txt")) == expected; }))
      << "files.txt was not written";
  ASSERT_TRUE(program.Exit());

  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_TRUE(WaitUntil([&] { return program.ItemCount() == 3; })) << "the remembered list did not come back";
  EXPECT_EQ(program.Entries(), (std::vector<std::string>{"第一", "", "C:\\a b"}));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(program.Checked(i)) << i;
  EXPECT_TRUE(program.Exit());
}

// Another program (a scanner, a backup) holding files.txt open for a few seconds while the
// user works: the window keeps answering, nobody is bothered with a report, and the list
// reaches files.txt once the file is free.
TEST(RememberedList, AFileHeldForAFewSecondsIsWrittenOnceFreeWithoutAReport) {
  Program program;
  const std::wstring filesTxt = program.PathInFolder(L"files.txt");
  WriteFileBytes(filesTxt, Utf8Lines({}));
  ASSERT_TRUE(program.Start()) << program.Error();
  HANDLE held = CreateFileW(filesTxt.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(program.Paste("C:\\one.txt\r\nC:\\two.txt\r\n", 2));
  // Held over two save ticks, each of which tries to write the changed list; the fifth
  // failing tick in a row would be the first to be reported.
  const std::optional<int> ticksBefore = program.SaveTicks();
  ASSERT_TRUE(ticksBefore) << program.ProbeError();
  int answered = 0, unanswered = 0;
  EXPECT_TRUE(WaitUntil(
      [&] {
        DWORD_PTR result = 0;
        // Not a measure of speed (the benchmark has that), only that the window never stops.
        (SendMessageTimeoutW(program.Main(), WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &result) ? answered : unanswered)++;
        return program.SaveTicks().value_or(0) >= *ticksBefore + 2;
      },
      kWaitMs + 2000))
      << "the save timer did not tick twice";
  program.Sync();
  EXPECT_EQ(unanswered, 0) << "answered " << answered;
  EXPECT_FALSE(program.AnyMessageBox()) << "a few seconds' hold was reported";
  CloseHandle(held);
  EXPECT_TRUE(WaitUntil([&] { return ReadFileBytes(filesTxt) == Utf8Lines({"C:\\one.txt", "C:\\two.txt"}); }))
      << ReadFileBytes(filesTxt);
  EXPECT_FALSE(program.AnyMessageBox());
  EXPECT_TRUE(program.Exit());
}

TEST(LogOn, TheMenuItemCreatesAndRemovesTheRunValue) {
  DeleteLogOnValue();
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  program.Command(IDM_AUTORUNATSTARTUP1);
  ASSERT_TRUE(WaitUntil([&] { return LogOnValue().has_value(); })) << "no log-on value";
  const std::wstring path = program.PathInFolder(L"quillet.exe");
  // Quoted exactly when the path holds a blank.
  EXPECT_EQ(*LogOnValue(), path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"");
  ASSERT_TRUE(program.Exit());

  // A new start reads the value: the item is checked, so choosing it now removes the value.
  ASSERT_TRUE(program.Start()) << program.Error();
  program.Command(IDM_AUTORUNATSTARTUP1);
  EXPECT_TRUE(WaitUntil([&] { return !LogOnValue().has_value(); })) << "the log-on value stayed";
  program.Sync();
  EXPECT_TRUE(program.Exit());
  DeleteLogOnValue();
}

// A program with Remember on, a list, a log-on value and a moved window, asked to reset.
void PrepareForReset(Program& program) {
  DeleteLogOnValue();
  program.WriteSettings("\xEF\xBB\xBF[Settings]\r\nRemember=1\r\nWait=300\r\nLeft=10\r\nTop=10\r\n\r\n");
  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_TRUE(program.Paste("a\r\nb\r\n", 2));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(program.PathInFolder(L"files.txt")); }));
  program.Command(IDM_AUTORUNATSTARTUP1);
  ASSERT_TRUE(WaitUntil([&] { return LogOnValue().has_value(); }));
  program.Command(IDM_RESETTODEFAULTS1);
}

TEST(Reset, AnsweredYesRemovesEverythingAndStartsAFreshInstance) {
  Program program;
  PrepareForReset(program);
  auto box = program.WaitForMessageBox();
  ASSERT_TRUE(box) << "no confirmation";
  EXPECT_EQ(box->caption, "确认");
  EXPECT_EQ(box->text, "重新启动应用程序?");
  PostMessageW(box->window, WM_COMMAND, IDYES, 0);
  ASSERT_TRUE(program.WaitForExit()) << "the instance did not end";
  EXPECT_FALSE(LogOnValue().has_value());
  EXPECT_FALSE(FileExists(program.PathInFolder(L"files.txt")));

  ASSERT_TRUE(program.AdoptOtherInstance()) << "no new instance";
  program.Sync();
  EXPECT_EQ(program.ItemCount(), 0);
  EXPECT_EQ(program.Text(IDC_SPINEDIT1), "0");
  const auto settings = program.Settings();
  EXPECT_EQ(settings.count("Remember"), 0u);
  EXPECT_EQ(settings.count("Wait"), 0u);
  RECT rect = {};
  GetWindowRect(program.Main(), &rect);
  EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left)) / 2);
  EXPECT_TRUE(program.Exit());
}

TEST(Reset, AnsweredNoChangesNothing) {
  Program program;
  PrepareForReset(program);
  auto box = program.WaitForMessageBox();
  ASSERT_TRUE(box) << "no confirmation";
  const std::string settings = program.SettingsBytes();
  PostMessageW(box->window, WM_COMMAND, IDNO, 0);
  ASSERT_TRUE(WaitUntil([&] { return !program.AnyMessageBox(); }));
  program.Sync();
  EXPECT_TRUE(program.Running());
  EXPECT_EQ(program.ItemCount(), 2);
  EXPECT_EQ(program.SettingsBytes(), settings);
  EXPECT_TRUE(FileExists(program.PathInFolder(L"files.txt")));
  EXPECT_TRUE(LogOnValue().has_value());
  EXPECT_EQ(Program::InstancesShowingAWindow().size(), 1u);
  EXPECT_TRUE(program.Exit());
  DeleteLogOnValue();
}

// Every Wine process counts as elevated, so every start here is an elevated start. (The menu
// item's text and image are checked in the window's own tests.)
TEST(Elevated, TheAdministratorItemIsMarkedAndRestartingEndsThisInstance) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  // Soon after the window shows, the item can no longer be chosen.
  const auto grayed = [&] { return program.MenuState(IDM_GRANTADMINISTRATORPRIVILEGES1).value_or(0) & MF_GRAYED; };
  EXPECT_TRUE(WaitUntil([&] { return grayed() != 0; }))
      << "the administrator item can still be chosen " << program.ProbeError();
  // The Settings menu as the user opens it, for a look.
  PostMessageW(program.Main(), WM_SYSCOMMAND, SC_KEYMENU, 0);
  Program::PressKey(program.Main(), VK_RIGHT);
  Program::PressKey(program.Main(), VK_DOWN);
  if (program.WaitForWindow(L"#32768", 3000)) {
    program.Sync();
    Sleep(300);  // the menu draws itself after it shows
    SaveScreenshot(GetDesktopWindow(), "settings-menu-elevated");
    Program::PressKey(program.Main(), VK_LEFT);  // over to the File menu with the administrator item
    Sleep(300);
    SaveScreenshot(GetDesktopWindow(), "file-menu-elevated");
  }
  Program::PressKey(program.Main(), VK_ESCAPE);
  Program::PressKey(program.Main(), VK_ESCAPE);
  ASSERT_TRUE(WaitUntil([&] { return !program.FindWindowOfClass(L"#32768"); }));

  // The command still works when sent (the item itself can't be chosen): this instance ends
  // and one new one starts.
  const DWORD first = program.ProcessId();
  program.Command(IDM_GRANTADMINISTRATORPRIVILEGES1);
  ASSERT_TRUE(program.WaitForExit()) << "the instance did not end";
  ASSERT_TRUE(program.AdoptOtherInstance()) << "no new instance";
  EXPECT_NE(program.ProcessId(), first);
  EXPECT_EQ(Program::InstancesShowingAWindow().size(), 1u);
  EXPECT_TRUE(program.Exit());
}

// Opens a file dialog through command, takes a picture of it and cancels it.
void LookAtDialog(Program& program, int command, const std::string& picture) {
  program.Command(command);
  HWND dialog = program.WaitForWindow(L"#32770");
  ASSERT_TRUE(dialog) << "no dialog";
  program.Sync();
  Sleep(500);  // the dialog fills its folder view after it shows
  SaveScreenshot(dialog, picture);
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return !program.AnyMessageBox(); }));
}

TEST(ListFileDialogs, OpenAndSaveDialogsShow) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_TRUE(program.Paste("a\r\n", 1));
  LookAtDialog(program, IDM_SAVELISTINTOFILE1, "save-list-dialog");
  LookAtDialog(program, IDM_LOADFILESFROMFILELIST1, "open-list-dialog");
  LookAtDialog(program, IDM_CREATEBATCHFILE1, "export-batch-dialog");
  EXPECT_EQ(program.ItemCount(), 1);
  EXPECT_TRUE(program.Exit());
}

// Types a full file name into an open or save dialog and confirms it.
bool ChooseInDialog(const Program& program, int command, const std::wstring& path, bool replaceExisting = false) {
  program.Command(command);
  HWND dialog = program.WaitForWindow(L"#32770");
  if (!dialog) return false;
  // The file name box: the edit inside cmb13 (a ComboBoxEx in Wine's Explorer dialogs), else edt1.
  struct Find {
    HWND edit = nullptr;
  } find;
  WaitUntil([&] {
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM param) -> BOOL {
          wchar_t cls[16] = {};
          GetClassNameW(child, cls, 16);
          const int id = GetDlgCtrlID(child);
          if (std::wstring(cls) == L"Edit" && (id == 0x47C || id == 0x480)) {
            reinterpret_cast<Find*>(param)->edit = child;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.edit != nullptr;
  });
  HWND name = find.edit;
  if (!name) {
    ADD_FAILURE() << "no file name box";
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return false;
  }
  program.SetText(name, Narrow(path));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  if (replaceExisting) {
    // The dialog asks whether to replace the file, in a box of its own.
    HWND question = nullptr;
    WaitUntil([&] {
      for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box && !question;
           box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
        if (GetWindow(box, GW_OWNER) == dialog && IsWindowVisible(box)) question = box;
      }
      return question != nullptr || !IsWindow(dialog);
    });
    if (question) PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
  }
  if (WaitUntil([&] { return !IsWindow(dialog); })) return true;
  ADD_FAILURE() << "the dialog stayed open with the name " << program.Text(name);
  SaveScreenshot(GetDesktopWindow(), "dialog-stayed-open");
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  return false;
}

// A file dialog of the program's window (the class of dialogs, with a file name box; a message
// box has none).
bool FileDialogOpen(const Program& program) {
  for (HWND dialog = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); dialog;
       dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr)) {
    if (GetWindow(dialog, GW_OWNER) != program.Main() || !IsWindowVisible(dialog)) continue;
    if (FindWindowExW(dialog, nullptr, L"ComboBoxEx32", nullptr) || GetDlgItem(dialog, 0x480)) return true;
  }
  return false;
}

// An export that waits for a target another program holds is not started again from its
// menu item or its button meanwhile: no second save dialog opens over it.
TEST(ListFileDialogs, AnExportThatWaitsIsNotStartedASecondTime) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_TRUE(program.Paste("C:\\a.txt\r\n", 1));
  const std::wstring batch = program.PathInFolder(L"held.bat");
  WriteFileBytes(batch, "REM not yet\r\n");
  HANDLE held = CreateFileW(batch.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(ChooseInDialog(program, IDM_CREATEBATCHFILE1, batch, true));
  // The export now waits for the file. The same command twice more, then one that shows when
  // it has been handled, and with it the two before it.
  program.Command(IDM_CREATEBATCHFILE1);
  program.Command(IDC_BUTTON3);
  program.Command(IDM_CHECKNONE1);
  ASSERT_TRUE(WaitUntil([&] { return !program.Checked(0); })) << "the commands were not handled";
  EXPECT_FALSE(FileDialogOpen(program)) << "a second export started while the first waited";
  SaveScreenshot(GetDesktopWindow(), "export-waits");
  auto box = program.WaitForMessageBox();
  CloseHandle(held);
  ASSERT_TRUE(box) << "the failed export was not reported";
  EXPECT_NE(box->text.find("无法导出批处理文件"), std::string::npos) << box->text;
  Program::PressOk(box->window);
  EXPECT_FALSE(FileDialogOpen(program));
  EXPECT_TRUE(program.Exit());
}

TEST(ListFileDialogs, SaveLoadAndExportThroughTheDialogs) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_TRUE(program.Paste("C:\\a.txt\r\n中文 条目\r\nhttps://example.com/\r\n", 3));
  ASSERT_TRUE(program.ToggleCheck(1));
  program.SetText(IDC_SPINEDIT1, "500");

  const std::wstring list = program.PathInFolder(L"saved 列表.qlst");
  ASSERT_TRUE(ChooseInDialog(program, IDM_SAVELISTINTOFILE1, list));
  EXPECT_TRUE(WaitUntil([&] { return FileExists(list); }));
  EXPECT_EQ(ReadFileBytes(list), Utf8Lines({"[SETTINGS]", "Wait=500", "StayOnTop=No", "AutoOpenList=No",
                                            "AutoCloseApplication=No", "[FILES]", "C:\\a.txt", "*中文 条目",
                                            "https://example.com/"}));

  const std::wstring batch = program.PathInFolder(L"run.bat");
  ASSERT_TRUE(ChooseInDialog(program, IDM_CREATEBATCHFILE1, batch));
  EXPECT_TRUE(WaitUntil([&] { return FileExists(batch); }));
  EXPECT_EQ(ReadFileBytes(batch),
            "@ECHO OFF\r\nCHCP 65001\r\nCLS\r\nECHO Generated by KALMIRO - Quillet 3.1\r\nREM Start\r\n"
            "start \"\" \"C:\\a.txt\"\r\nping 192.0.2.2 -n 1 -w 500 >nul\r\n"
            "start \"\" \"中文 条目\"\r\nping 192.0.2.2 -n 1 -w 500 >nul\r\n"
            "start \"\" \"https://example.com/\"\r\nREM Finish\r\n");

  // An entry that would break out of its quotes is left out, and the user hears which.
  ASSERT_TRUE(program.Paste("C:\\x\" & C:\\other.exe & \"y\r\n", 4));
  const std::wstring unsafe = program.PathInFolder(L"unsafe.bat");
  ASSERT_TRUE(ChooseInDialog(program, IDM_CREATEBATCHFILE1, unsafe));
  auto box = program.WaitForMessageBox();
  ASSERT_TRUE(box) << "the left-out entry was not named";
  EXPECT_EQ(box->caption, "警告");
  EXPECT_NE(box->text.find("第 4 项: C:\\x\" & C:\\other.exe & \"y"), std::string::npos) << box->text;
  SaveScreenshot(box->window, "batch-left-out");
  Program::PressOk(box->window);
  EXPECT_EQ(ReadFileBytes(unsafe), ReadFileBytes(batch));
  EXPECT_EQ(program.ItemCount(), 4);  // left out of the file, not out of the list

  program.Command(IDM_REMOVEALL1);
  program.SetText(IDC_SPINEDIT1, "0");
  ASSERT_TRUE(WaitUntil([&] { return program.ItemCount() == 0; }));
  ASSERT_TRUE(ChooseInDialog(program, IDM_LOADFILESFROMFILELIST1, list));
  ASSERT_TRUE(WaitUntil([&] { return program.ItemCount() == 3; }));
  EXPECT_EQ(program.Entries(), (std::vector<std::string>{"C:\\a.txt", "中文 条目", "https://example.com/"}));
  EXPECT_TRUE(program.Checked(0));
  EXPECT_FALSE(program.Checked(1));
  EXPECT_EQ(program.Text(IDC_SPINEDIT1), "500");
  EXPECT_EQ(program.Settings()["Wait"], "500");

  // The exported batch file reads back to the same entries, Chinese text included.
  ASSERT_TRUE(ChooseInDialog(program, IDM_LOADFILESFROMFILELIST1, batch));
  ASSERT_TRUE(WaitUntil([&] { return program.ItemCount() == 6; }));
  const auto entries = program.Entries();
  EXPECT_EQ(std::vector<std::string>(entries.begin() + 3, entries.end()),
            (std::vector<std::string>{"C:\\a.txt", "中文 条目", "https://example.com/"}));
  EXPECT_TRUE(program.Exit());
}

// The shortcut the shell keeps in the user's Recent folder for a recent document, named after
// the document's file name.
std::wstring RecentShortcut(const std::wstring& file_name) {
  wchar_t folder[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_RECENT, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::wstring(folder) + L"\\" + file_name + L".lnk";
}

// List files in the list format that the user saves or loads join the system's recent
// documents, which the taskbar's jump list offers; text lists and a list file that could not
// be read do not. Wine's shell names the shortcuts in the ANSI code page, so these names are
// plain ASCII; it also reads the wide path as an ANSI one for the shortcut's target (which
// comes out as "C"), so what is checked is the shortcut for the file's name.
TEST(RecentLists, SavedAndLoadedListFilesJoinTheRecentDocumentsAndOtherFilesDoNot) {
  Program program;
  const std::wstring saved = L"recent saved.qlst", text = L"recent saved.txt", started = L"recent started.qlst",
                     missing = L"recent missing.qlst";
  for (const std::wstring& name : {saved, text, started, missing}) DeleteFileW(RecentShortcut(name).c_str());
  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_TRUE(program.Paste("C:\\a.txt\r\n", 1));

  // The text list first, saved and loaded: nothing of it can still be under way once the list
  // file's shortcut is there.
  ASSERT_TRUE(ChooseInDialog(program, IDM_SAVELISTINTOFILE1, program.PathInFolder(text)));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(program.PathInFolder(text)); }));
  ASSERT_TRUE(ChooseInDialog(program, IDM_LOADFILESFROMFILELIST1, program.PathInFolder(text)));
  ASSERT_TRUE(WaitUntil([&] { return program.ItemCount() == 2; }));
  ASSERT_TRUE(ChooseInDialog(program, IDM_SAVELISTINTOFILE1, program.PathInFolder(saved)));
  EXPECT_TRUE(WaitUntil([&] { return FileExists(RecentShortcut(saved)); })) << "not added on saving";
  EXPECT_FALSE(FileExists(RecentShortcut(text)));

  // Loading it brings it back after the user took it off the recent documents.
  ASSERT_TRUE(DeleteFileW(RecentShortcut(saved).c_str()));
  ASSERT_TRUE(ChooseInDialog(program, IDM_LOADFILESFROMFILELIST1, program.PathInFolder(saved)));
  ASSERT_TRUE(WaitUntil([&] { return program.ItemCount() == 4; }));
  EXPECT_TRUE(WaitUntil([&] { return FileExists(RecentShortcut(saved)); })) << "not added on loading";
  ASSERT_TRUE(program.Exit());

  // Named on the command line, as Explorer and the jump list start the program (here relative
  // to the working folder); one that can't be read is left out.
  ASSERT_TRUE(program.Start({missing})) << program.Error();
  auto box = program.WaitForMessageBox();
  ASSERT_TRUE(box) << "no error report";
  Program::PressOk(box->window);
  ASSERT_TRUE(program.Exit());
  WriteFileBytes(program.PathInFolder(started), Utf8Lines({"[FILES]", "C:\\b.txt"}));
  ASSERT_TRUE(program.Start({started})) << program.Error();
  EXPECT_TRUE(WaitUntil([&] { return FileExists(RecentShortcut(started)); })) << "not added on starting with it";
  EXPECT_FALSE(FileExists(RecentShortcut(missing)));
  EXPECT_EQ(program.Entries(), (std::vector<std::string>{"C:\\b.txt"}));
  EXPECT_TRUE(program.Exit());
}

}  // namespace
}  // namespace quillet::e2e
