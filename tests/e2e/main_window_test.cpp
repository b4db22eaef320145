// The main window as a user first meets it: its caption, the empty-list warning, and a
// picture of the window holding a few entries.
#include <gtest/gtest.h>

#include "ui/control_ids.h"
#include "e2e/driver.h"

namespace quillet::e2e {
namespace {

TEST(MainWindow, CaptionComesFromTheVersionRecord) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  EXPECT_EQ(program.Caption(), "KALMIRO - Quillet");
  EXPECT_EQ(program.Text(IDC_BITBTN1), "QUILLET");
  EXPECT_EQ(program.ItemCount(), 0);
  EXPECT_TRUE(program.Exit());
}

TEST(MainWindow, EmptyListWarnsAndOpensNothing) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  // Posted: the warning is modal, so a sent click would not come back until it closes.
  program.PostClick(IDC_BITBTN1);
  auto box = program.WaitForMessageBox();
  ASSERT_TRUE(box) << "no message box";
  EXPECT_EQ(box->caption, "警告");
  EXPECT_EQ(box->text, "列表是空的!");
  Program::PressOk(box->window);
  EXPECT_TRUE(WaitUntil([&] { return !program.AnyMessageBox(); }));
  EXPECT_EQ(program.Text(IDC_BITBTN1), "QUILLET");
  EXPECT_TRUE(IsWindowEnabled(program.Control(IDC_BITBTN1)));
  EXPECT_FALSE(IsWindowVisible(program.Control(IDC_BUTTON6)));
}

TEST(MainWindow, PastedEntriesKeepTextAndCheckMarks) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  const std::vector<std::string> entries = {
      "C:\\Windows\\notepad.exe", "C:\\Program Files\\Quillet 示例\\说明.txt", "https://example.com/", "D:\\照片"};
  ASSERT_TRUE(program.Paste("C:\\Windows\\notepad.exe\r\nC:\\Program Files\\Quillet 示例\\说明.txt\r\n"
                            "https://example.com/\r\nD:\\照片\r\n",
                            4));
  ASSERT_TRUE(program.ToggleCheck(2)) << "the space bar did not change the check mark";
  EXPECT_EQ(program.Entries(), entries);
  EXPECT_TRUE(program.Checked(0));
  EXPECT_TRUE(program.Checked(1));
  EXPECT_FALSE(program.Checked(2));
  EXPECT_TRUE(program.Checked(3));
  program.SetText(IDC_SPINEDIT1, "500");
  program.Select(1);
  program.Sync();
  EXPECT_FALSE(SaveScreenshot(program.Main(), "main-window").empty() &&
               GetEnvironmentVariableW(L"QUILLET_SCREENSHOT_DIR", nullptr, 0) != 0);
}

}  // namespace
}  // namespace quillet::e2e
