// The main window driven with the keyboard and the pointer: where it opens for a stored size,
// what Enter presses on each kind of focused control, the arrow buttons leaving the focus in
// the list, and the tooltips giving way to the menus of their buttons.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/control_ids.h"
#include "e2e/driver.h"

namespace quillet::e2e {
namespace {

RECT WindowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

TEST(Placement, AStoredSizeOpensCentredAtThatSize) {
  const int screen_w = GetSystemMetrics(SM_CXSCREEN), screen_h = GetSystemMetrics(SM_CYSCREEN);
  RECT designed = {};
  {
    Program program;
    ASSERT_TRUE(program.Start()) << program.Error();
    designed = WindowRect(program.Main());
    EXPECT_TRUE(program.Exit());
  }
  const int design_w = designed.right - designed.left, design_h = designed.bottom - designed.top;
  ASSERT_EQ(designed.left, (screen_w - design_w) / 2);
  ASSERT_EQ(designed.top, (screen_h - design_h) / 2);

  struct Case {
    const char* name;
    std::string stored;
    int width, height;
    bool at_stored;  // placed at Left=40, Top=30 rather than centred
  };
  const std::vector<Case> cases = {
      {"size only", "Width=700\r\nHeight=300\r\n", 700, 300, false},
      {"width only", "Width=700\r\n", 700, design_h, false},
      {"height only", "Height=300\r\n", design_w, 300, false},
      {"size and position", "Left=40\r\nTop=30\r\nWidth=700\r\nHeight=300\r\n", 700, 300, true},
      {"position only", "Left=40\r\nTop=30\r\n", design_w, design_h, true},
      {"size over the screen", "Width=" + std::to_string(screen_w + 1) + "\r\nHeight=300\r\n", design_w, 300, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Program program;
    program.WriteSettings("\xEF\xBB\xBF[Settings]\r\n" + c.stored + "\r\n");
    ASSERT_TRUE(program.Start()) << program.Error();
    const RECT got = WindowRect(program.Main());
    EXPECT_EQ(got.right - got.left, c.width);
    EXPECT_EQ(got.bottom - got.top, c.height);
    EXPECT_EQ(got.left, c.at_stored ? 40 : (screen_w - c.width) / 2);
    EXPECT_EQ(got.top, c.at_stored ? 30 : (screen_h - c.height) / 2);
    if (std::string(c.name) == "size only") SaveScreenshot(program.Main(), "main-window-stored-size");
    EXPECT_TRUE(program.Exit());
  }
}

// What Enter does on a control, seen from outside.
enum class Pressed { ItsMenu, ItsDialog, TheRun };

struct EnterCase {
  const char* name;
  int control;
  Pressed expected;
};

// Waits for the effect, closes whatever opened, and says whether it was the expected one.
::testing::AssertionResult SeesAndCloses(const Program& program, Pressed expected) {
  switch (expected) {
    case Pressed::ItsMenu: {
      HWND menu = program.WaitForWindow(L"#32768");
      if (!menu) return ::testing::AssertionFailure() << "no popup menu opened";
      Program::PressKey(program.Main(), VK_ESCAPE);
      if (!WaitUntil([&] { return !program.FindWindowOfClass(L"#32768"); }))
        return ::testing::AssertionFailure() << "the menu did not close";
      break;
    }
    case Pressed::ItsDialog:
    case Pressed::TheRun: {
      auto box = program.WaitForMessageBox();
      if (!box) return ::testing::AssertionFailure() << "no dialog opened";
      const bool warning = box->caption == "警告" && box->text == "列表是空的!";
      PostMessageW(box->window, WM_COMMAND, IDCANCEL, 0);
      if (!WaitUntil([&] { return !program.AnyMessageBox(); }))
        return ::testing::AssertionFailure() << "the dialog did not close";
      if (warning != (expected == Pressed::TheRun))
        return ::testing::AssertionFailure() << "opened \"" << box->caption << "\": " << box->text;
      break;
    }
  }
  program.Sync();
  if (program.FindWindowOfClass(L"#32768") || program.AnyMessageBox())
    return ::testing::AssertionFailure() << "something else opened as well";
  return ::testing::AssertionSuccess();
}

TEST(EnterKey, PressesTheFocusedPushButtonAndElseStartsTheRun) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  const std::vector<EnterCase> cases = {
      {"添加", IDC_BUTTON1, Pressed::ItsMenu},
      {"移除", IDC_BUTTON2, Pressed::ItsMenu},
      {"导出批处理文件", IDC_BUTTON3, Pressed::ItsDialog},
      {"从文件加载列表", IDC_BUTTON4, Pressed::ItsDialog},
      {"将列表保存到文件", IDC_BUTTON5, Pressed::ItsDialog},
      {"浏览", IDC_BITBTN2, Pressed::ItsDialog},
      {"QUILLET", IDC_BITBTN1, Pressed::TheRun},
      {"the list", IDC_LISTBOX1, Pressed::TheRun},
      {"the wait box", IDC_SPINEDIT1, Pressed::TheRun},
      {"the program box", IDC_EDIT1, Pressed::TheRun},
      {"使用系统默认打开", IDC_RADIOBUTTON1, Pressed::TheRun},
      {"打开:", IDC_RADIOBUTTON2, Pressed::TheRun},
  };
  for (const EnterCase& c : cases) {
    SCOPED_TRACE(c.name);
    Program::PressKey(program.Control(c.control), VK_RETURN);
    EXPECT_TRUE(SeesAndCloses(program, c.expected));
  }
  EXPECT_TRUE(program.Exit());
}

TEST(EnterKey, OpensTheMenuAgainAfterEscapeClosedIt) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  HWND add = program.Control(IDC_BUTTON1);
  program.ClickWithPointer(add);
  ASSERT_TRUE(program.WaitForWindow(L"#32768")) << "the click opened no menu";
  program.PressRealKey(VK_ESCAPE);
  ASSERT_TRUE(WaitUntil([&] { return !program.FindWindowOfClass(L"#32768"); }));
  ASSERT_TRUE(WaitUntil([&] { return program.Focused() == add; })) << "添加 does not have the focus";
  // A press of the button within 100 ms of its menu closing is taken for the click that closed
  // it; a person's Enter comes later than that. The program notes the closing on the system's
  // tick count once the menu has returned, which it has when it handles the next message.
  program.Sync();
  const DWORD closedBy = GetTickCount();
  ASSERT_TRUE(WaitUntil([&] { return GetTickCount() - closedBy > 100; }));
  program.PressRealKey(VK_RETURN);
  EXPECT_TRUE(SeesAndCloses(program, Pressed::ItsMenu));
  EXPECT_TRUE(program.Exit());
}

TEST(ArrowButtons, LeaveTheFocusInTheListForTheKeyboard) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  ASSERT_TRUE(program.Paste("a\r\nb\r\nc\r\n", 3));
  program.Select(2);
  program.ClickWithPointer(program.List());  // an empty stretch of the list: focus, no change
  ASSERT_TRUE(WaitUntil([&] { return program.Focused() == program.List(); }));
  program.Select(2);
  program.Sync();

  struct Step {
    int button;
    std::vector<std::string> after;
  };
  const std::vector<Step> steps = {{IDC_SPEEDBUTTON6, {"a", "c", "b"}}, {IDC_SPEEDBUTTON3, {"c", "a", "b"}}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.button);
    program.ClickWithPointer(program.Control(step.button));
    EXPECT_TRUE(WaitUntil([&] { return program.Entries() == step.after; })) << "the click moved nothing";
    program.Sync();
    EXPECT_EQ(program.Focused(), program.List());
  }
  // The user goes on with the keyboard: the arrow key moves the selection in the list.
  const int selected = program.Selected();
  program.PressRealKey(VK_DOWN);
  EXPECT_TRUE(WaitUntil([&] { return program.Selected() == selected + 1; }));
  EXPECT_TRUE(program.Exit());
}

TEST(Tooltips, GiveWayToTheMenuOfTheirButton) {
  Program program;
  ASSERT_TRUE(program.Start()) << program.Error();
  for (int id : {IDC_BUTTON2, IDC_BUTTON1}) {
    SCOPED_TRACE(id);
    HWND button = program.Control(id);
    // First the tooltip shows as the pointer rests on the button; then a click comes before the
    // next tooltip is due, as when the user clicks right away.
    program.MovePointerTo(button);
    ASSERT_TRUE(WaitUntil([&] { return program.FindWindowOfClass(L"tooltips_class32") != nullptr; }))
        << "no tooltip over the button";
    program.MovePointerTo(program.List());
    ASSERT_TRUE(WaitUntil([&] { return !program.FindWindowOfClass(L"tooltips_class32"); }));
    program.ClickWithPointer(button);
    ASSERT_TRUE(program.WaitForWindow(L"#32768")) << "the click opened no menu";
    EXPECT_TRUE(WaitUntil([&] { return !program.FindWindowOfClass(L"tooltips_class32"); }, 2000))
        << "the tooltip is drawn over the open menu";
    // The pointer rests on the button while the menu is open: the tooltip must not come back.
    EXPECT_FALSE(WaitUntil([&] { return program.FindWindowOfClass(L"tooltips_class32") != nullptr; }, 1500));
    program.PressRealKey(VK_ESCAPE);
    ASSERT_TRUE(WaitUntil([&] { return !program.FindWindowOfClass(L"#32768"); }));
  }
  EXPECT_TRUE(program.Exit());
}

}  // namespace
}  // namespace quillet::e2e
