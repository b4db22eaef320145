// settings.ini as the running program writes and reads it: the first start, each option
// written the moment it changes, the window's place and state across a restart, and a file
// that is not UTF-8.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/control_ids.h"
#include "e2e/driver.h"
#include "util/text.h"

namespace quillet::e2e {
namespace {

const char kBom[] = "\xEF\xBB\xBF";

std::string DefaultProgram() {
  wchar_t windir[MAX_PATH] = {};
  GetEnvironmentVariableW(L"WINDIR", windir, MAX_PATH);
  return Narrow(windir) + "\\notepad.exe";
}

// Every line ends with CR LF: no lone CR, no lone LF.
bool AllLinesEndWithCrLf(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')) return false;
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) return false;
  }
  return bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0;
}

bool IsGeometryKey(const std::string& key) {
  return key == "Left" || key == "Top" || key == "Width" || key == "Height" || key == "WindowState";
}

TEST(Settings, FirstStartWritesTheDefaultProgramBesideTheProgram) {
  Program program;
  ASSERT_FALSE(FileExists(program.SettingsPath()));
  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_TRUE(WaitUntil([&] { return program.Settings().count("OpenWith") == 1; })) << program.SettingsBytes();

  const std::string bytes = program.SettingsBytes();
  EXPECT_EQ(bytes.rfind(std::string(kBom) + "[Settings]\r\n", 0), 0u) << bytes;
  EXPECT_TRUE(AllLinesEndWithCrLf(bytes)) << bytes;
  EXPECT_EQ(bytes.compare(bytes.size() - 4, 4, "\r\n\r\n"), 0) << "no empty line at the end";
  EXPECT_NE(bytes.find("\r\nOpenWith=" + DefaultProgram() + "\r\n"), std::string::npos) << bytes;
  for (const auto& [key, value] : program.Settings()) {
    EXPECT_TRUE(key == "OpenWith" || IsGeometryKey(key)) << key << "=" << value << " written at first start";
  }
  // The window shows the defaults.
  EXPECT_EQ(program.Text(IDC_EDIT1), DefaultProgram());
  EXPECT_TRUE(program.ButtonChecked(IDC_RADIOBUTTON1));
  EXPECT_FALSE(program.ButtonChecked(IDC_RADIOBUTTON2));
  EXPECT_EQ(program.Text(IDC_SPINEDIT1), "0");
  EXPECT_FALSE(program.IsTopmost());
}

// One change made the way the user makes it, and the one key it must write.
struct OptionStep {
  std::function<void(Program&)> change;
  std::string key;
  std::string value;
};

struct OptionCase {
  const char* name;
  std::vector<OptionStep> steps;
};

class OptionWrite : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionWrite, ChangesExactlyItsKeyAtOnce) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_TRUE(WaitUntil([&] { return program.Settings().count("OpenWith") == 1; }));
  for (const OptionStep& step : GetParam().steps) {
    SCOPED_TRACE(step.key + "=" + step.value);
    IniKeys expected = program.Settings();
    expected[step.key] = step.value;
    step.change(program);
    EXPECT_TRUE(WaitUntil([&] { return program.Settings() == expected; }))
        << "settings.ini is now:\n" << program.SettingsBytes();
    EXPECT_TRUE(AllLinesEndWithCrLf(program.SettingsBytes()));
  }
}

void Menu(Program& program, int id) { program.Command(id); }

INSTANTIATE_TEST_SUITE_P(
    Options, OptionWrite,
    ::testing::Values(
        OptionCase{"NamedProgramThenDefault",
                   {{[](Program& p) { p.Click(IDC_RADIOBUTTON2); }, "OpenWithDefaults", "OFF"},
                    {[](Program& p) { p.Click(IDC_RADIOBUTTON1); }, "OpenWithDefaults", "ON"}}},
        OptionCase{"ProgramText",
                   {{[](Program& p) { p.SetText(IDC_EDIT1, "C:\\Tools\\看图 viewer.exe"); }, "OpenWith",
                     "C:\\Tools\\看图 viewer.exe"}}},
        OptionCase{"Wait",
                   {{[](Program& p) { p.SetText(IDC_SPINEDIT1, "250"); }, "Wait", "250"},
                    {[](Program& p) { p.SetText(IDC_SPINEDIT1, "-40"); }, "Wait", "-40"}}},
        OptionCase{"AutoCloseOnAndOff",
                   {{[](Program& p) { Menu(p, IDM_AUTOCLOSE1); }, "AutoClose", "1"},
                    {[](Program& p) { Menu(p, IDM_AUTOCLOSE1); }, "AutoClose", "0"}}},
        OptionCase{"StayOnTopOnAndOff",
                   {{[](Program& p) { Menu(p, IDM_STAYONTOP1); }, "StayOnTop", "1"},
                    {[](Program& p) { Menu(p, IDM_STAYONTOP1); }, "StayOnTop", "0"}}}),
    [](const auto& case_info) { return std::string(case_info.param.name); });

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

bool StoredBoundsAre(const IniKeys& keys, const RECT& r) {
  auto is = [&](const char* key, long value) {
    auto it = keys.find(key);
    return it != keys.end() && it->second == std::to_string(value);
  };
  return is("Left", r.left) && is("Top", r.top) && is("Width", r.right - r.left) && is("Height", r.bottom - r.top);
}

TEST(Settings, WindowPlaceSizeAndStateSurviveARestart) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  SetWindowPos(program.Main(), nullptr, 90, 70, 720, 520, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT moved = {};
  ASSERT_TRUE(WaitUntil([&] {
    GetWindowRect(program.Main(), &moved);
    return moved.right - moved.left == 720 && moved.bottom - moved.top == 520 &&
           StoredBoundsAre(program.Settings(), moved) && program.Settings()["WindowState"] == "Normal";
  })) << "window at " << Describe(moved) << ", stored:\n" << program.SettingsBytes();

  // The window manager takes the request in its own time and, on a busy screen, may drop it:
  // it is asked again until the window is maximized. What counts here is what gets stored.
  ASSERT_TRUE(WaitUntil([&] {
    if (!IsZoomed(program.Main())) PostMessageW(program.Main(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    return WaitUntil([&] { return IsZoomed(program.Main()) != FALSE; }, 2000);
  })) << "the window was not maximized";
  ASSERT_TRUE(WaitUntil([&] { return program.Settings()["WindowState"] == "Maximized"; }))
      << "maximized, but stored:\n" << program.SettingsBytes();
  EXPECT_TRUE(StoredBoundsAre(program.Settings(), moved)) << "maximizing changed the normal bounds";
  ASSERT_TRUE(program.Exit());

  // Restarted: maximized, and restoring gives the bounds it had before. (Wine reports the
  // current rectangle as the normal one for another process's window, so GetWindowPlacement
  // can't show them; restoring does.)
  ASSERT_TRUE(program.Start()) << program.Error();
  EXPECT_TRUE(WaitUntil([&] { return IsZoomed(program.Main()) != FALSE; }));
  PostMessageW(program.Main(), WM_SYSCOMMAND, SC_RESTORE, 0);
  RECT restored = {};
  EXPECT_TRUE(WaitUntil([&] {
    GetWindowRect(program.Main(), &restored);
    return !IsZoomed(program.Main()) && SameRect(restored, moved) && program.Settings()["WindowState"] == "Normal";
  })) << Describe(restored);
  ASSERT_TRUE(program.Exit());

  // Restarted once more: normal, at the stored place and size.
  ASSERT_TRUE(program.Start()) << program.Error();
  RECT again = {};
  GetWindowRect(program.Main(), &again);
  EXPECT_FALSE(IsZoomed(program.Main()));
  EXPECT_TRUE(SameRect(again, moved)) << Describe(again) << " instead of " << Describe(moved);
}

TEST(Settings, FileThatIsNotUtf8IsReplacedByDefaultsWithoutAMessage) {
  Program program;
  // Non-ASCII text saved in a legacy code page (é as the single byte E9).
  program.WriteSettings("[Settings]\r\nAutoClose=1\r\nWait=750\r\nOpenWith=C:\\Caf\xE9\\viewer.exe\r\nOpenWithDefaults=OFF\r\n");
  ASSERT_TRUE(program.Start()) << program.Error();
  EXPECT_FALSE(program.AnyMessageBox());
  ASSERT_TRUE(WaitUntil([&] { return program.Settings()["OpenWith"] == DefaultProgram(); })) << program.SettingsBytes();
  const std::string bytes = program.SettingsBytes();
  EXPECT_TRUE(IsValidUtf8(bytes)) << bytes;
  const IniKeys keys = program.Settings();
  EXPECT_EQ(keys.at("OpenWith"), DefaultProgram());
  EXPECT_EQ(keys.count("AutoClose"), 0u);
  EXPECT_EQ(keys.count("Wait"), 0u);
  EXPECT_EQ(keys.count("OpenWithDefaults"), 0u);
  EXPECT_EQ(program.Text(IDC_EDIT1), DefaultProgram());
  EXPECT_EQ(program.Text(IDC_SPINEDIT1), "0");
  EXPECT_TRUE(program.ButtonChecked(IDC_RADIOBUTTON1));
  EXPECT_FALSE(program.AnyMessageBox());
}

// settings.ini that another program holds while the program starts (a backup, a sync client,
// an editor) costs the user nothing: they are told which file could not be read and that
// nothing changes until it can be; neither it nor files.txt is written meanwhile; once it is
// free, the options and the remembered list come in as at a start.
TEST(Settings, AFileHeldByAnotherProgramAtStartIsKeptAndTakenOnceFree) {
  Program program;
  const std::string stored = std::string(kBom) +
                             "[Settings]\r\nRemember=1\r\nAutoClose=0\r\nWait=250\r\n"
                             "OpenWith=C:\\tools\\viewer.exe\r\nOpenWithDefaults=OFF\r\n\r\n";
  program.WriteSettings(stored);
  const std::wstring filesTxt = program.PathInFolder(L"files.txt");
  const std::string remembered = std::string(kBom) + "kept 1\r\nkept 2\r\n";
  WriteFileBytes(filesTxt, remembered);
  HANDLE held = CreateFileW(program.SettingsPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(program.Start()) << program.Error();
  auto box = program.WaitForMessageBox();
  ASSERT_TRUE(box) << "the user was not told";
  EXPECT_EQ(box->caption, "警告");
  EXPECT_EQ(box->text.rfind("无法读取设置 \"" + Narrow(program.SettingsPath()) + "\".\r\r", 0), 0u) << box->text;
  EXPECT_NE(box->text.find("设置和记住的列表都不会被更改"), std::string::npos) << box->text;
  SaveScreenshot(box->window, "settings-held");
  Program::PressOk(box->window);

  // Meanwhile the defaults show, and neither a change nor the list reaches the files.
  EXPECT_TRUE(program.ButtonChecked(IDC_RADIOBUTTON1));
  program.Command(IDM_AUTOCLOSE1);
  ASSERT_TRUE(program.Paste("added meanwhile\r\n", 1));
  ASSERT_TRUE(program.WaitForSaveTicks(2)) << program.ProbeError();
  EXPECT_FALSE(program.AnyMessageBox()) << "a write was tried while the file was held";
  CloseHandle(held);
  EXPECT_EQ(ReadFileBytes(program.SettingsPath()), stored);
  EXPECT_EQ(ReadFileBytes(filesTxt), remembered);

  // Free again: the options and the remembered list come in as at a start.
  ASSERT_TRUE(WaitUntil([&] { return program.ItemCount() == 3; })) << "the remembered list did not come in";
  EXPECT_EQ(program.Entries(), (std::vector<std::string>{"kept 1", "kept 2", "added meanwhile"}));
  EXPECT_TRUE(program.ButtonChecked(IDC_RADIOBUTTON2));
  EXPECT_EQ(program.Text(IDC_EDIT1), "C:\\tools\\viewer.exe");
  EXPECT_EQ(program.Text(IDC_SPINEDIT1), "250");
  EXPECT_EQ(program.MenuChecked(IDM_REMEMBER1), std::optional<bool>(true)) << program.ProbeError();
  EXPECT_EQ(program.MenuChecked(IDM_AUTOCLOSE1), std::optional<bool>(false)) << program.ProbeError();
  EXPECT_EQ(program.Settings(), ParseSettings(stored)) << program.SettingsBytes();
  EXPECT_TRUE(WaitUntil([&] {
    return ReadFileBytes(filesTxt) == std::string(kBom) + "kept 1\r\nkept 2\r\nadded meanwhile\r\n";
  })) << ReadFileBytes(filesTxt);
  EXPECT_FALSE(program.AnyMessageBox());
  EXPECT_TRUE(program.Exit());
}

}  // namespace
}  // namespace quillet::e2e
