// Adding entries from outside the list, and the stay-on-top option around the add window:
// the add window ("添加任何内容", "添加网址"), files dropped on the list, and the main window
// leaving the topmost band while a modal window is open.
#include <gtest/gtest.h>

#include "ui/control_ids.h"
#include "e2e/driver.h"

namespace quillet::e2e {
namespace {

TEST(StayOnTop, ChosenTwiceLeavesItOff) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  program.Command(IDM_STAYONTOP1);
  EXPECT_TRUE(WaitUntil([&] { return program.IsTopmost() && program.Settings()["StayOnTop"] == "1"; }))
      << "topmost: " << program.IsTopmost() << "\n" << program.SettingsBytes();
  EXPECT_EQ(program.MenuChecked(IDM_STAYONTOP1), true) << program.ProbeError();
  program.Command(IDM_STAYONTOP1);
  EXPECT_TRUE(WaitUntil([&] { return !program.IsTopmost() && program.Settings()["StayOnTop"] == "0"; }));
  EXPECT_EQ(program.MenuChecked(IDM_STAYONTOP1), false) << program.ProbeError();
}

// The stored option is read at start: the window is in the topmost band and the menu item is
// checked, so choosing it turns the option off. Every process under Wine counts as elevated,
// so this start also went through the elevated start's bring-to-front, which must leave the
// window where the option says.
TEST(StayOnTop, StoredOptionIsOnAtStart) {
  Program program;
  program.WriteSettings("\xEF\xBB\xBF[Settings]\r\nStayOnTop=1\r\n\r\n");
  ASSERT_TRUE(program.Start()) << program.Error();
  // The save timer starts with the one-shot start-up timers and ticks long after they fired.
  ASSERT_TRUE(program.WaitForSaveTicks(1)) << program.ProbeError();
  EXPECT_TRUE(program.IsTopmost()) << "the window left the topmost band at start";
  EXPECT_EQ(program.MenuChecked(IDM_STAYONTOP1), true) << program.ProbeError();
  EXPECT_EQ(program.Settings()["StayOnTop"], "1");
  program.Command(IDM_STAYONTOP1);
  EXPECT_TRUE(WaitUntil([&] { return !program.IsTopmost() && program.Settings()["StayOnTop"] == "0"; }))
      << program.SettingsBytes();
}

TEST(StayOnTop, AddWindowOpensWithTheMainWindowOutOfTheTopmostBand) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  program.Command(IDM_STAYONTOP1);
  ASSERT_TRUE(WaitUntil([&] { return program.IsTopmost() && program.Settings()["StayOnTop"] == "1"; }))
      << "topmost: " << program.IsTopmost() << "\n" << program.SettingsBytes();

  program.Command(IDM_ADDANYTHING1);
  HWND add = program.WaitForWindow(QUILLET_ADDURL_CLASS);
  ASSERT_TRUE(add) << "no add window";
  EXPECT_TRUE(WaitUntil([&] { return !program.IsTopmost() && program.Settings()["StayOnTop"] == "0"; }))
      << "while the add window is open the option must be off";
  EXPECT_EQ(program.MenuChecked(IDM_STAYONTOP1), false) << program.ProbeError();

  program.SetText(ChildById(add, IDC_ADDURL_MEMO1), "C:\\added.txt");
  Program::PostClick(ChildById(add, IDOK));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(add) || !IsWindowVisible(add); }));
  EXPECT_TRUE(WaitUntil([&] { return program.IsTopmost() && program.Settings()["StayOnTop"] == "1"; }))
      << "after the add window closed the option must be on again";
  EXPECT_EQ(program.MenuChecked(IDM_STAYONTOP1), true) << program.ProbeError();
  EXPECT_EQ(program.Entries(), std::vector<std::string>{"C:\\added.txt"});
}

enum class Close { Ok, Cancel, Escape };

struct AddCase {
  const char* name;
  int command;               // IDM_ADDANYTHING1 or IDM_ADDURLS1
  const char* shown;         // the memo's text when the window opens
  const char* typed;         // replaces the memo's text, or nullptr to leave it
  Close close;
  std::vector<std::string> added;
};

class AddWindow : public ::testing::TestWithParam<AddCase> {};

TEST_P(AddWindow, AddsTheNonBlankLinesOnOkOnly) {
  const AddCase& test = GetParam();
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_TRUE(program.Paste("already there\r\n", 1));

  program.Command(test.command);
  HWND add = program.WaitForWindow(QUILLET_ADDURL_CLASS);
  ASSERT_TRUE(add) << "no add window";
  EXPECT_EQ(program.Text(add), "添加");
  HWND memo = ChildById(add, IDC_ADDURL_MEMO1);
  EXPECT_EQ(program.Text(memo), test.shown);
  if (test.typed) program.SetText(memo, test.typed);
  if (test.close == Close::Ok && test.command == IDM_ADDANYTHING1) SaveScreenshot(add, "add-window");

  switch (test.close) {
    case Close::Ok: Program::PostClick(ChildById(add, IDOK)); break;
    case Close::Cancel: Program::PostClick(ChildById(add, IDCANCEL)); break;
    case Close::Escape:
      PostMessageW(memo, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
      PostMessageW(memo, WM_KEYUP, VK_ESCAPE, 0xC0010001);
      break;
  }
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(add) || !IsWindowVisible(add); })) << "the add window stayed open";

  std::vector<std::string> expected = {"already there"};
  expected.insert(expected.end(), test.added.begin(), test.added.end());
  EXPECT_EQ(program.Entries(), expected);
  for (int i = 0; i < program.ItemCount(); ++i) EXPECT_TRUE(program.Checked(i)) << "entry " << i;
  // With the option off the window brackets nothing: StayOnTop is never written.
  EXPECT_EQ(program.Settings().count("StayOnTop"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddWindow,
    ::testing::Values(
        AddCase{"AnythingOk", IDM_ADDANYTHING1, "", "a\r\n  \r\n b \r\n\r\n中文 内容", Close::Ok,
                {"a", " b ", "中文 内容"}},
        AddCase{"UrlPrefixUnchanged", IDM_ADDURLS1, "http://", nullptr, Close::Ok, {"http://"}},
        AddCase{"UrlsOk", IDM_ADDURLS1, "http://", "http://a.example/\r\nhttps://b.example/x y", Close::Ok,
                {"http://a.example/", "https://b.example/x y"}},
        AddCase{"Cancel", IDM_ADDANYTHING1, "", "x\r\ny", Close::Cancel, {}},
        AddCase{"Escape", IDM_ADDURLS1, "http://", "http://z.example/", Close::Escape, {}}),
    [](const auto& case_info) { return std::string(case_info.param.name); });

TEST(DroppedFiles, ArriveOnTheListInOrderAndNowhereElse) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  // Explorer offers files only to windows registered for them, which the list and the window
  // are soon after they show.
  auto acceptsFiles = [](HWND window) { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0; };
  EXPECT_TRUE(WaitUntil([&] { return acceptsFiles(program.List()) && acceptsFiles(program.Main()); }));
  ASSERT_TRUE(program.Paste("first\r\n", 1));
  const std::vector<std::string> dropped = {"C:\\data\\b.txt", "C:\\data\\a folder", "C:\\数据\\报告 1.docx"};
  ASSERT_TRUE(program.DropFiles(dropped)) << "WM_DROPFILES could not be posted";
  ASSERT_TRUE(WaitUntil([&] { return program.ItemCount() == 4; })) << program.ItemCount() << " entries";
  std::vector<std::string> expected = {"first"};
  expected.insert(expected.end(), dropped.begin(), dropped.end());
  EXPECT_EQ(program.Entries(), expected);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(program.Checked(i)) << "entry " << i;

  // Dropped on the wait row or on the window itself: nothing is added. The copy that
  // Entries() asks for is handled after the drops, so they have been seen by then.
  ASSERT_TRUE(program.DropFiles({"C:\\elsewhere.txt"}, program.Control(IDC_SPINEDIT1)));
  ASSERT_TRUE(program.DropFiles({"C:\\elsewhere.txt"}, program.Main()));
  EXPECT_EQ(program.Entries(), expected);
  SaveScreenshot(program.Main(), "main-window-after-drop");
}

// Names longer than the old 260-character limit arrive whole, in the list, its copy and
// files.txt: a name cut short names another place, often a folder above the file.
TEST(DroppedFiles, LongNamesArriveWhole) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  std::string deep = "C:\\projects";
  while (deep.size() < 300) deep += "\\a folder with a long name";
  const std::vector<std::string> dropped = {deep + "\\report.docx",
                                            "\\\\?\\" + deep + "\\数据\\报告 第二版.docx"};
  ASSERT_GT(dropped[0].size(), 300u);
  ASSERT_TRUE(program.DropFiles(dropped)) << "WM_DROPFILES could not be posted";
  ASSERT_TRUE(WaitUntil([&] { return program.ItemCount() == 2; })) << program.ItemCount() << " entries";
  EXPECT_EQ(program.Entries(), dropped);
  const std::string expectedFile = "\xEF\xBB\xBF" + dropped[0] + "\r\n" + dropped[1] + "\r\n";
  EXPECT_TRUE(WaitUntil([&] { return ReadFileBytes(program.PathInFolder(L"files.txt")) == expectedFile; }))
      << ReadFileBytes(program.PathInFolder(L"files.txt"));
}

}  // namespace
}  // namespace quillet::e2e
