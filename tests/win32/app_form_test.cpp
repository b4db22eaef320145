// The main window, created in this process on a scratch settings folder and driven by the
// messages the user's actions send.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_form.h"
#include "app_form_fixture.h"
#include "platform/taskbar_progress.h"
#include "ui/control_ids.h"
#include "ui/popup_guard.h"
#include "modal_script.h"
#include "platform/win32/win32_system.h"
#include "temp_folder.h"
#include "util/text.h"

namespace quillet {
namespace {

using Settings = AppFormTest::Settings;

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

TEST_F(AppFormTest, FirstStartShowsTheDesignedWindowAndStoresTheDefaultProgram) {
  Start();
  EXPECT_EQ(TextOf(Window()), L"KALMIRO - Quillet");
  EXPECT_EQ(form_->Values().caption, "KALMIRO - Quillet");
  EXPECT_EQ(form_->Values().version, "3.1");
  EXPECT_EQ(form_->SettingsDir(), folder_.path() + "\\");

  RECT client{};
  GetClientRect(Window(), &client);
  EXPECT_EQ(client.right, 497);
  EXPECT_EQ(client.bottom, 480);

  const std::string notepad = EnvironmentVariable("WINDIR") + "\\notepad.exe";
  EXPECT_EQ(Narrow(TextOf(Control(IDC_EDIT1))), notepad);
  EXPECT_EQ(SettingsBytes(), "\xEF\xBB\xBF[Settings]\r\nOpenWith=" + notepad + "\r\n\r\n");

  EXPECT_EQ(SendMessageW(Control(IDC_RADIOBUTTON1), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(Control(IDC_RADIOBUTTON2), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(TextOf(Control(IDC_SPINEDIT1)), L"0");
  EXPECT_FALSE(GetWindowLongPtrW(Control(IDC_BUTTON6), GWL_STYLE) & WS_VISIBLE);
  EXPECT_FALSE(Topmost());
  for (UINT id : {IDM_STAYONTOP1, IDM_REMEMBER1, IDM_AUTOCLOSE1, IDM_AUTOOPENLIST1}) EXPECT_FALSE(MenuChecked(id));
  UINT updates = GetMenuState(form_->MainMenu(), IDM_UPDATENOTIFICATIONS1, MF_BYCOMMAND);
  EXPECT_TRUE(updates & MF_CHECKED);
  EXPECT_TRUE(updates & MF_GRAYED);
  EXPECT_EQ(SendMessageW(Window(), DM_GETDEFID, 0, 0), MAKELRESULT(IDC_BITBTN1, DC_HASDEFID));
}

TEST_F(AppFormTest, StoredOptionsAreAppliedWithoutChangingTheFile) {
  const std::string stored =
      "\xEF\xBB\xBF[Settings]\r\nStayOnTop=1\r\nAutoClose=1\r\nRemember=2\r\nWait=500\r\n"
      "OpenWith=C:\\Tools\\viewer.exe\r\nOpenWithDefaults=OFF\r\n\r\n";
  folder_.WriteFile("settings.ini", stored);
  Start();
  EXPECT_EQ(SettingsBytes(), stored);
  EXPECT_TRUE(MenuChecked(IDM_STAYONTOP1));
  EXPECT_TRUE(MenuChecked(IDM_AUTOCLOSE1));
  EXPECT_FALSE(MenuChecked(IDM_REMEMBER1));  // only exactly 1 counts
  EXPECT_EQ(TextOf(Control(IDC_SPINEDIT1)), L"500");
  EXPECT_EQ(TextOf(Control(IDC_EDIT1)), L"C:\\Tools\\viewer.exe");
  EXPECT_EQ(SendMessageW(Control(IDC_RADIOBUTTON2), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(Control(IDC_RADIOBUTTON1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

struct OptionCase {
  const char* name;
  std::function<void(AppFormTest&, TAppForm&)> act;
  Settings changed;  // the keys the action writes, with their values
};

TEST_F(AppFormTest, EachOptionHandlerWritesExactlyItsKey) {
  const std::vector<OptionCase> cases = {
      {"RadioButton2", [](AppFormTest& t, TAppForm&) { t.Click(IDC_RADIOBUTTON2); }, {{"OpenWithDefaults", "OFF"}}},
      {"RadioButton1 after 2",
       [](AppFormTest& t, TAppForm&) {
         t.Click(IDC_RADIOBUTTON2);
         t.Click(IDC_RADIOBUTTON1);
       },
       {{"OpenWithDefaults", "ON"}}},
      {"Edit1", [](AppFormTest& t, TAppForm&) { SetWindowTextW(t.Control(IDC_EDIT1), L"C:\\a b\\p.exe"); },
       {{"OpenWith", "C:\\a b\\p.exe"}}},
      {"Edit1 emptied", [](AppFormTest& t, TAppForm&) { SetWindowTextW(t.Control(IDC_EDIT1), L""); },
       {{"OpenWith", ""}}},
      {"SpinEdit1 typed", [](AppFormTest& t, TAppForm&) { SetWindowTextW(t.Control(IDC_SPINEDIT1), L"-250"); },
       {{"Wait", "-250"}}},
      {"SpinEdit1 not a number", [](AppFormTest& t, TAppForm&) { SetWindowTextW(t.Control(IDC_SPINEDIT1), L"12a"); },
       {{"Wait", "0"}}},
      {"SpinEdit1 arrow up from text",
       [](AppFormTest& t, TAppForm&) {
         SetWindowTextW(t.Control(IDC_SPINEDIT1), L"x");
         NMUPDOWN change{};
         change.hdr.hwndFrom = t.Control(IDC_SPINEDIT1_UPDOWN);
         change.hdr.idFrom = IDC_SPINEDIT1_UPDOWN;
         change.hdr.code = UDN_DELTAPOS;
         change.iDelta = 1;
         SendMessageW(t.Window(), WM_NOTIFY, IDC_SPINEDIT1_UPDOWN, reinterpret_cast<LPARAM>(&change));
       },
       {{"Wait", "1"}}},
      {"AutoClose1", [](AppFormTest& t, TAppForm&) { t.Command(IDM_AUTOCLOSE1); }, {{"AutoClose", "1"}}},
      {"AutoClose1 twice",
       [](AppFormTest& t, TAppForm&) {
         t.Command(IDM_AUTOCLOSE1);
         t.Command(IDM_AUTOCLOSE1);
       },
       {{"AutoClose", "0"}}},
      {"StayonTop1", [](AppFormTest& t, TAppForm&) { t.Command(IDM_STAYONTOP1); }, {{"StayOnTop", "1"}}},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.name);
    form_.reset();
    DeleteFileW(Widen(SettingsPath()).c_str());
    Start();
    Settings before = ReadSettings();
    c.act(*this, *form_);
    Settings expected = before;
    for (const auto& [key, value] : c.changed) expected[key] = value;
    EXPECT_EQ(ReadSettings(), expected);
  }
}

TEST_F(AppFormTest, OptionMenuChecksFollowTheStoredValue) {
  Start();
  Command(IDM_AUTOCLOSE1);
  EXPECT_TRUE(MenuChecked(IDM_AUTOCLOSE1));
  Command(IDM_STAYONTOP1);
  EXPECT_TRUE(MenuChecked(IDM_STAYONTOP1));
  EXPECT_TRUE(Topmost());
  EXPECT_EQ(ReadSettings()["StayOnTop"], "1");
  Command(IDM_STAYONTOP1);
  EXPECT_FALSE(MenuChecked(IDM_STAYONTOP1));
  EXPECT_FALSE(Topmost());
  EXPECT_EQ(ReadSettings()["StayOnTop"], "0");
}

TEST_F(AppFormTest, AddWindowRunsInsideTheStayOnTopBracket) {
  Start();
  Command(IDM_STAYONTOP1);
  ASSERT_TRUE(MenuChecked(IDM_STAYONTOP1));
  const Bracket bracket = TypeIntoAddWindow(IDM_ADDANYTHING1, L"a\r\n  \r\n b ");

  ASSERT_TRUE(bracket.seen);
  EXPECT_FALSE(bracket.topmostWhileOpen);
  EXPECT_FALSE(bracket.checkedWhileOpen);
  EXPECT_EQ(bracket.storedWhileOpen, "0");
  EXPECT_TRUE(MenuChecked(IDM_STAYONTOP1));
  EXPECT_TRUE(Topmost());
  EXPECT_EQ(ReadSettings()["StayOnTop"], "1");
  EXPECT_EQ(ModelTexts(), (std::vector<std::string>{"a", " b "}));
  EXPECT_EQ(ViewCount(), 2);
}

TEST_F(AppFormTest, AddWindowWithoutStayOnTopWritesNothing) {
  Start();
  ASSERT_TRUE(TypeIntoAddWindow(IDM_ADDURLS1, L"http://example.com").seen);
  EXPECT_EQ(ReadSettings().count("StayOnTop"), 0u);
  EXPECT_FALSE(Topmost());
  EXPECT_EQ(ModelTexts(), (std::vector<std::string>{"http://example.com"}));
}

TEST(PopupGuardTest, SwallowsOnlyTheClickThatClosedTheSameMenu) {
  int buttonA = 0, buttonB = 0, menuA = 0, menuB = 0;
  struct Case {
    const char* name;
    std::uint32_t closedAt, clickAt;
    const void* button;
    const void* menu;
    bool swallowed;
  };
  const std::vector<Case> cases = {
      {"same button at once", 1000, 1000, &buttonA, &menuA, true},
      {"same button 99 ms later", 1000, 1099, &buttonA, &menuA, true},
      {"same button 100 ms later", 1000, 1100, &buttonA, &menuA, false},
      {"other button", 1000, 1010, &buttonB, &menuA, false},
      {"other menu", 1000, 1010, &buttonA, &menuB, false},
      {"across the tick wrap", 0xFFFFFFF0u, 0x00000010u, &buttonA, &menuA, true},
      {"long after, across the wrap", 0xFFFFFF00u, 0x00000050u, &buttonA, &menuA, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PopupGuard guard;
    guard.MenuClosed(&buttonA, &menuA, c.closedAt);
    EXPECT_EQ(guard.ShouldSwallow(c.button, c.menu, c.clickAt), c.swallowed);
    // Whatever happened, the click after a swallowed one opens the menu again.
    if (c.swallowed) {
      EXPECT_FALSE(guard.ShouldSwallow(c.button, c.menu, c.clickAt));
    }
  }
  PopupGuard fresh;
  EXPECT_FALSE(fresh.ShouldSwallow(&buttonA, &menuA, 0));
}

TEST_F(AppFormTest, ListCommandsShowInTheListView) {
  Start();
  SetClipboardText(Window(), "a\r\n\r\nb\r\n");
  Command(IDM_PASTE1);
  ASSERT_EQ(ViewCount(), 3);
  EXPECT_EQ(ViewText(0), "a");
  EXPECT_EQ(ViewText(1), "");
  EXPECT_EQ(ViewText(2), "b");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(ViewChecked(i));

  Command(IDM_CHECKNONE1);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(ViewChecked(i));
  Command(IDM_CHECKALL1);
  EXPECT_TRUE(ViewChecked(1));

  // Selecting in the view selects in the model; the move buttons carry the selection.
  SelectInView(2);
  EXPECT_EQ(form_->List().Current(), 2);
  SendMessageW(List(), WM_KEYDOWN, VK_SPACE, 0);  // toggles the current entry's box
  EXPECT_FALSE(ViewChecked(2));
  Click(IDC_SPEEDBUTTON3);  // top
  EXPECT_EQ(ModelTexts(), (std::vector<std::string>{"b", "a", ""}));
  EXPECT_EQ(ViewSelection(), 0);
  EXPECT_FALSE(ViewChecked(0));
  Click(IDC_SPEEDBUTTON5);  // down
  EXPECT_EQ(ViewSelection(), 1);
  EXPECT_EQ(ViewText(1), "b");

  // A click on an entry's box toggles it.
  RECT row{};
  ListView_GetItemRect(List(), 0, &row, LVIR_BOUNDS);
  LVHITTESTINFO hit{};
  for (int x = row.left; x < row.left + 30 && !(hit.flags & LVHT_ONITEMSTATEICON); ++x) {
    hit = LVHITTESTINFO{};
    hit.pt = POINT{x, (row.top + row.bottom) / 2};
    ListView_SubItemHitTest(List(), &hit);
  }
  ASSERT_TRUE(hit.flags & LVHT_ONITEMSTATEICON);
  SendMessageW(List(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(hit.pt.x, hit.pt.y));
  SendMessageW(List(), WM_LBUTTONUP, 0, MAKELPARAM(hit.pt.x, hit.pt.y));
  EXPECT_FALSE(ViewChecked(0));
  EXPECT_EQ(form_->List().Current(), 0);

  Command(IDM_COPY1);
  EXPECT_EQ(GetClipboardText(Window()), "a\r\nb\r\n\r\n");

  // The Delete key removes the selection and selects the neighbour; the context menu's
  // removal leaves nothing selected.
  SelectInView(1);
  SendMessageW(List(), WM_KEYDOWN, VK_DELETE, 0);
  EXPECT_EQ(ModelTexts(), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(ViewSelection(), 1);
  Command(IDM_DELETESELECTED1);
  EXPECT_EQ(ViewCount(), 1);
  EXPECT_EQ(ViewSelection(), -1);
  Command(IDM_REMOVEA1);
  EXPECT_EQ(ViewCount(), 0);
}

TEST_F(AppFormTest, PasteOfManyLinesIsOneModelCall) {
  Start();
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "entry " + std::to_string(i) + "\r\n";
  SetClipboardText(Window(), text);
  Command(IDM_PASTE1);
  EXPECT_EQ(ViewCount(), 100000);
  EXPECT_EQ(ViewText(99999), "entry 99999");
  EXPECT_TRUE(ViewChecked(99999));
}

TEST_F(AppFormTest, DragDropsInFrontOfTheEntryUnderThePointer) {
  Start();
  for (const char* text : {"e0", "e1", "e2", "e3", "e4"}) form_->Ekle(text, true);
  form_->List().SetChecked(1, false);
  form_->SyncListView();

  EXPECT_EQ(form_->DropIndexAt(RowCentreOnScreen(3)), 3);
  RECT client{};
  GetClientRect(List(), &client);
  POINT below{client.right / 2, client.bottom - 2};
  ClientToScreen(List(), &below);
  EXPECT_EQ(form_->DropIndexAt(below), 5);
  POINT outside{client.right / 2, client.bottom + 5};
  ClientToScreen(List(), &outside);
  EXPECT_EQ(form_->DropIndexAt(outside), -1);

  struct DragCase {
    const char* name;
    bool ontoRow3;  // else below the last entry
    std::vector<std::string> expected;
  };
  for (const DragCase& c : {DragCase{"onto e3", true, {"e0", "e2", "e1", "e3", "e4"}},
                            DragCase{"below the last", false, {"e0", "e2", "e3", "e4", "e1"}}}) {
    SCOPED_TRACE(c.name);
    std::ptrdiff_t e1 = 0;
    while (form_->List().At(e1).text != "e1") ++e1;
    SelectInView(static_cast<int>(e1));
    NMLISTVIEW begin{};
    begin.hdr.hwndFrom = List();
    begin.hdr.idFrom = IDC_LISTBOX1;
    begin.hdr.code = LVN_BEGINDRAG;
    begin.iItem = static_cast<int>(e1);
    SendMessageW(Window(), WM_NOTIFY, IDC_LISTBOX1, reinterpret_cast<LPARAM>(&begin));
    POINT drop = c.ontoRow3 ? RowCentreOnScreen(3) : below;
    ScreenToClient(Window(), &drop);
    SendMessageW(Window(), WM_LBUTTONUP, 0, MAKELPARAM(drop.x, drop.y));
    EXPECT_EQ(ModelTexts(), c.expected);
    std::ptrdiff_t moved = form_->List().Current();
    ASSERT_GE(moved, 0);
    EXPECT_EQ(form_->List().At(moved).text, "e1");
    EXPECT_FALSE(ViewChecked(static_cast<int>(moved)));  // the dragged entry keeps its mark
    EXPECT_EQ(ViewSelection(), moved);
  }
}

TEST_F(AppFormTest, CountdownCountsToZeroAndEndsTheWindow) {
  Start();
  Command(IDM_AUTOCLOSE1);
  form_->Ekle("never opened", false);  // unchecked: the run opens nothing
  Click(IDC_BITBTN1);
  EXPECT_EQ(TextOf(Control(IDC_BITBTN1)), L"QUILLET");
  EXPECT_TRUE(IsWindowEnabled(Control(IDC_BITBTN1)));
  EXPECT_TRUE(GetWindowLongPtrW(Control(IDC_BUTTON6), GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(TextOf(Control(IDC_BUTTON6)), L"取消自动关闭 (10)");
  ASSERT_TRUE(form_->CountdownActive());
  // The ticks come from the test, not from the clock.
  KillTimer(Window(), TAppForm::kTimerCloseId);
  for (int expected = 9; expected >= 1; --expected) {
    SendMessageW(Window(), WM_TIMER, TAppForm::kTimerCloseId, 0);
    EXPECT_EQ(TextOf(Control(IDC_BUTTON6)), L"取消自动关闭 (" + std::to_wstring(expected) + L")");
  }
  HWND window = Window();
  SendMessageW(window, WM_TIMER, TAppForm::kTimerCloseId, 0);
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(AppFormTest, CancellingTheCountdownKeepsTheWindow) {
  Start();
  Command(IDM_AUTOCLOSE1);
  form_->Ekle("   ", true);  // blank: selected but not opened
  Click(IDC_BITBTN1);
  KillTimer(Window(), TAppForm::kTimerCloseId);
  SendMessageW(Window(), WM_TIMER, TAppForm::kTimerCloseId, 0);
  Click(IDC_BUTTON6);
  EXPECT_FALSE(GetWindowLongPtrW(Control(IDC_BUTTON6), GWL_STYLE) & WS_VISIBLE);
  EXPECT_FALSE(form_->CountdownActive());
  SendMessageW(Window(), WM_TIMER, TAppForm::kTimerCloseId, 0);
  EXPECT_EQ(TextOf(Control(IDC_BUTTON6)), L"取消自动关闭 (9)");
  EXPECT_TRUE(IsWindow(Window()));
  EXPECT_EQ(form_->List().Current(), 0);
}

TEST_F(AppFormTest, EmptyListWarnsAndStartsNoRun) {
  Start();
  Command(IDM_AUTOCLOSE1);
  std::optional<std::wstring> warning;
  testing::RunScript([&] { Click(IDC_BITBTN1); }, {{[&] {
                       HWND box = FindWindowW(L"#32770", L"警告");
                       if (!box) return false;
                       warning = TextOf(GetDlgItem(box, 0xFFFF));
                       PostMessageW(box, WM_COMMAND, IDOK, 0);
                       return true;
                     }}});
  ASSERT_TRUE(warning);
  EXPECT_EQ(*warning, L"列表是空的!");
  EXPECT_EQ(TextOf(Control(IDC_BITBTN1)), L"QUILLET");
  EXPECT_FALSE(form_->CountdownActive());
}

// Ends a run that a script could not bring to its end, as the program's end would.
void EndTheRun() { PostQuitMessage(1); }

TEST_F(AppFormTest, ClosingWhileARunWaitsEndsWhenTheRunReturns) {
  Start();
  // Named-program mode with a program that ends at once, so nothing stays open.
  Click(IDC_RADIOBUTTON2);
  SetWindowTextW(Control(IDC_EDIT1), (Widen(EnvironmentVariable("WINDIR")) + L"\\system32\\hostname.exe").c_str());
  SetWindowTextW(Control(IDC_SPINEDIT1), L"300");
  form_->Ekle("first", true);
  form_->Ekle("second", true);
  HWND window = Window();
  bool sent = false, aliveAfterClose = false;
  testing::RunScript([&] { Click(IDC_BITBTN1); }, {{[&] {
                                                     if (!form_->Running()) return false;
                                                     sent = true;
                                                     SendMessageW(window, WM_CLOSE, 0, 0);
                                                     aliveAfterClose = IsWindow(window) != FALSE;
                                                     return true;
                                                   }},
                                                   EndTheRun});
  ASSERT_TRUE(sent);
  EXPECT_TRUE(aliveAfterClose);
  EXPECT_EQ(form_->List().Current(), 1);  // the run went on to the last entry
  EXPECT_FALSE(IsWindow(window));
}

// What the status bar showed and where the run was when Esc came.
struct AtEsc {
  bool sent = false;
  std::wstring status;
  std::ptrdiff_t current = -1;
};

// Esc during a run, sent to whichever control has the focus (key: as that control gets it), once
// the run is under way and the status bar shows waitFor.
testing::Script EscDuringRun(TAppForm& form, HWND focused, UINT key, std::wstring waitFor, AtEsc& atEsc) {
  testing::Script script{{[&form, focused, key, waitFor, &atEsc] {
                           if (!form.Running() || form.StatusText().find(waitFor) == std::wstring::npos) return false;
                           atEsc.sent = true;
                           atEsc.status = form.StatusText();
                           atEsc.current = form.List().Current();
                           PostMessageW(focused, key, VK_ESCAPE, 0);
                           return true;
                         }},
                         EndTheRun};
  script.patienceMs = 2 * testing::kPatienceMs;
  return script;
}

class RecordingTaskbar final : public TaskbarProgress {
 public:
  explicit RecordingTaskbar(std::vector<std::string>& shown) : shown_(shown) {}
  void Show(std::size_t done, std::size_t total, bool paused) override {
    shown_.push_back(std::to_string(done) + "/" + std::to_string(total) + (paused ? " paused" : ""));
  }
  void Clear() override { shown_.push_back("clear"); }

 private:
  std::vector<std::string>& shown_;
};

TEST_F(AppFormTest, EscStopsARunBeforeItsNextEntryAndEndsAWaitAtOnce) {
  struct Case {
    const char* name;
    const wchar_t* wait;
    int entries;
    int focusedControl;  // 0: none, the window takes the key as a system key
  };
  // The program's message hook, as the main loop installs it.
  SetMessagePreTranslator([this](MSG& message) { return form_ && form_->PreTranslateMessage(message); });
  // A wait of ten minutes: the test only ends in time when Esc ends the wait.
  const Case cases[] = {
      {"DuringAWait", L"600000", 3, IDC_LISTBOX1},
      {"WithoutWaits", L"0", 40, IDC_EDIT1},
      {"NothingFocused", L"600000", 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileW(Widen(SettingsPath()).c_str());
    Start();
    Command(IDM_AUTOCLOSE1);
    ASSERT_TRUE(form_->OptionOn(TAppForm::MenuOption::AutoClose));
    std::vector<std::string> taskbar;
    form_->SetTaskbarProgress(std::make_unique<RecordingTaskbar>(taskbar));
    // Named-program mode with a program that ends at once, so nothing stays open.
    Click(IDC_RADIOBUTTON2);
    SetWindowTextW(Control(IDC_EDIT1), (Widen(EnvironmentVariable("WINDIR")) + L"\\system32\\hostname.exe").c_str());
    SetWindowTextW(Control(IDC_SPINEDIT1), c.wait);
    for (int i = 0; i < c.entries; ++i) form_->Ekle("entry " + std::to_string(i), true);
    AtEsc atEsc;
    // The count during the wait comes at most a second after the first one.
    testing::RunScript([&] { Click(IDC_BITBTN1); },
                       EscDuringRun(*form_, c.focusedControl ? Control(c.focusedControl) : Window(),
                                    c.focusedControl ? WM_KEYDOWN : WM_SYSKEYDOWN,
                                    c.wait == std::wstring(L"0") ? L"" : L"等待中", atEsc));

    ASSERT_TRUE(atEsc.sent);
    EXPECT_FALSE(form_->Running());
    // No entry after the one the run was at when Esc came.
    EXPECT_EQ(form_->List().Current(), atEsc.current);
    EXPECT_LT(form_->List().Current(), c.entries - 1);
    EXPECT_NE(atEsc.status.find(L"/ " + std::to_wstring(c.entries)), std::wstring::npos);
    EXPECT_NE(atEsc.status.find(L"按 Esc 停止"), std::wstring::npos) << Narrow(atEsc.status);
    // The idle face again, the hints in the status bar, no progress on the button, and no
    // countdown: the user is there and chose to stop.
    EXPECT_EQ(TextOf(Control(IDC_BITBTN1)), L"QUILLET");
    EXPECT_EQ(form_->StatusText().find(L"正在打开"), std::wstring::npos);
    ASSERT_FALSE(taskbar.empty());
    EXPECT_EQ(taskbar.front(), "0/" + std::to_string(c.entries));
    EXPECT_EQ(taskbar.back(), "clear");
    EXPECT_FALSE(form_->CountdownActive());
    if (c.wait != std::wstring(L"0")) {
      EXPECT_EQ(atEsc.status, L"正在打开 1 / 3 (等待中)  按 Esc 停止");
      EXPECT_EQ(taskbar, (std::vector<std::string>{"0/3", "1/3 paused", "clear"}));
    }
    form_.reset();
  }
  SetMessagePreTranslator(nullptr);
}

// A run that is not stopped still ends in the countdown, and Esc outside a run stops nothing.
TEST_F(AppFormTest, AFinishedRunStillStartsTheCountdown) {
  SetMessagePreTranslator([this](MSG& message) { return form_ && form_->PreTranslateMessage(message); });
  Start();
  Command(IDM_AUTOCLOSE1);
  Click(IDC_RADIOBUTTON2);
  SetWindowTextW(Control(IDC_EDIT1), (Widen(EnvironmentVariable("WINDIR")) + L"\\system32\\hostname.exe").c_str());
  form_->Ekle("only", true);
  PostMessageW(Control(IDC_LISTBOX1), WM_KEYDOWN, VK_ESCAPE, 0);
  ProcessMessages();
  Click(IDC_BITBTN1);
  EXPECT_EQ(form_->List().Current(), 0);
  EXPECT_TRUE(form_->CountdownActive());
  EXPECT_EQ(form_->StatusText().find(L"正在打开"), std::wstring::npos);
  SetMessagePreTranslator(nullptr);
}

TEST_F(AppFormTest, ClosingTheWindowEndsIt) {
  Start();
  HWND window = Window();
  Command(IDM_EXIT1);
  EXPECT_FALSE(IsWindow(window));
}


// The Run key of these tests: a scratch key, so the real log-on value is never touched.
constexpr wchar_t kScratchRunKey[] = L"Software\\QuilletTests\\AppForm\\Run";

TEST_F(AppFormTest, LogOnItemFollowsTheRunValue) {
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuilletTests\\AppForm");
  RegSetKeyValueW(HKEY_CURRENT_USER, kScratchRunKey, L"KALMIRO - Quillet", REG_SZ, L"D:\\elsewhere\\quillet.exe",
                  sizeof(L"D:\\elsewhere\\quillet.exe"));
  Start();
  EXPECT_TRUE(MenuChecked(IDM_AUTORUNATSTARTUP1));  // another copy's path counts as well

  Command(IDM_AUTORUNATSTARTUP1);
  EXPECT_FALSE(MenuChecked(IDM_AUTORUNATSTARTUP1));
  wchar_t data[MAX_PATH] = {};
  DWORD size = sizeof data;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kScratchRunKey, L"KALMIRO - Quillet", RRF_RT_REG_SZ, nullptr, data, &size),
            ERROR_FILE_NOT_FOUND);

  Command(IDM_AUTORUNATSTARTUP1);
  EXPECT_TRUE(MenuChecked(IDM_AUTORUNATSTARTUP1));
  size = sizeof data;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kScratchRunKey, L"KALMIRO - Quillet", RRF_RT_REG_SZ, nullptr, data, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(data), ProgramFilePath());

  form_.reset();
  Start();
  EXPECT_TRUE(MenuChecked(IDM_AUTORUNATSTARTUP1));
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuilletTests\\AppForm");
}

TEST_F(AppFormTest, RememberAndAutoOpenListWriteTheirKeyAndCheckTheirItem) {
  Start();
  for (auto [id, key] : {std::pair{IDM_REMEMBER1, "Remember"}, std::pair{IDM_AUTOOPENLIST1, "AutoOpenList"}}) {
    SCOPED_TRACE(key);
    Command(id);
    EXPECT_TRUE(MenuChecked(id));
    EXPECT_EQ(ReadSettings()[key], "1");
    Command(id);
    EXPECT_FALSE(MenuChecked(id));
    EXPECT_EQ(ReadSettings()[key], "0");
  }
  EXPECT_FALSE(Win32FileSystem().FileExists(folder_ / "files.txt"));  // nothing loaded or deleted
}

// Every Wine process counts as elevated.
TEST_F(AppFormTest, AnElevatedProcessMarksTheAdministratorItem) {
  ASSERT_TRUE(IsUserAnAdmin());
  Start();
  HMENU menu = form_->MainMenu();
  wchar_t text[64] = {};
  GetMenuStringW(menu, IDM_GRANTADMINISTRATORPRIVILEGES1, text, 64, MF_BYCOMMAND);
  EXPECT_EQ(std::wstring(text), L"使用管理员权限运行");
  EXPECT_TRUE(GetMenuState(menu, IDM_GRANTADMINISTRATORPRIVILEGES1, MF_BYCOMMAND) & MF_GRAYED);
  MENUITEMINFOW item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_BITMAP;
  ASSERT_TRUE(GetMenuItemInfoW(menu, IDM_GRANTADMINISTRATORPRIVILEGES1, FALSE, &item));
  EXPECT_EQ(item.hbmpItem, nullptr);
  // Its neighbours keep their images.
  item.hbmpItem = nullptr;
  ASSERT_TRUE(GetMenuItemInfoW(menu, IDM_EXIT1, FALSE, &item));
  EXPECT_NE(item.hbmpItem, nullptr);
}

TEST_F(AppFormTest, StartupLoadingTakesTheRememberedListThenTheCommandLine) {
  struct Case {
    const char* name;
    bool remember;
    std::wstring commandLine;
    std::vector<std::string> expected;
  };
  folder_.WriteFile("files.txt", "\xEF\xBB\xBFremembered 1\r\n*remembered 2\r\n");
  folder_.WriteFile("list.qlst", "\xEF\xBB\xBF[FILES]\r\nfrom list\r\n*unchecked\r\n");
  const std::wstring listFile = Widen(folder_ / "list.qlst");
  const std::vector<Case> cases = {
      {"remember off", false, L"q.exe", {}},
      {"remember on", true, L"q.exe", {"remembered 1", "*remembered 2"}},
      {"one list file replaces the remembered list", true, L"q.exe \"" + listFile + L"\"", {"from list", "unchecked"}},
      {"one other argument", true, L"q.exe C:\\a.txt", {"C:\\a.txt"}},
      {"two list files", false, L"q.exe \"" + listFile + L"\" b.qlst", {Narrow(listFile), "b.qlst"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    form_.reset();
    folder_.WriteFile("settings.ini", c.remember ? "\xEF\xBB\xBF[Settings]\r\nRemember=1\r\n" : "");
    StartWith(TestArgs(c.commandLine));
    EXPECT_EQ(ModelTexts(), c.expected);
    EXPECT_EQ(ViewCount(), static_cast<int>(c.expected.size()));
  }
}


TEST_F(AppFormTest, BadListFilesLoadWithoutHarmAndAFailedReadAddsNothing) {
  Start();
  SetClipboardText(Window(), "kept\r\n");
  Command(IDM_PASTE1);
  std::string garbage;
  for (int i = 0; i < 100000; ++i) garbage += static_cast<char>((i * 7919) % 256);
  struct Case {
    const char* name;
    std::string file, bytes;
    std::optional<std::size_t> added;  // entries the load appends, where a line count tells
  };
  const std::vector<Case> cases = {
      {"binary garbage as text", "garbage.txt", garbage, SplitLines(garbage).size()},
      {"binary garbage as a list", "garbage.qlst", garbage, std::nullopt},
      {"UTF-16 with an odd byte count", "odd.txt", std::string("\xFF\xFE" "a\0\r\0b\0c", 9), 2},
      {"a 1 MB line", "long.txt", std::string(1 << 20, 'x') + "\r\nshort\r\n", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    folder_.WriteFile(c.file, c.bytes);
    const std::size_t before = form_->List().Count();
    form_->ListeYukle(folder_ / c.file);
    EXPECT_GE(form_->List().Count(), before);
    if (c.added) {
      EXPECT_EQ(form_->List().Count(), before + *c.added);
    }
    EXPECT_EQ(ViewCount(), static_cast<int>(form_->List().Count()));
    EXPECT_EQ(form_->List().At(0).text, "kept");
  }
  const std::size_t before = form_->List().Count();
  EXPECT_THROW(form_->ListeYukle(folder_ / "missing.qlst"), IoError);
  EXPECT_EQ(form_->List().Count(), before);
}

TEST_F(AppFormTest, AVeryLongCommandLineBecomesEntries) {
  std::wstring commandLine = L"q.exe";
  std::vector<std::string> expected;
  while (commandLine.size() < 32000) {
    const std::string argument = "C:\\folder " + std::to_string(expected.size()) + "\\文件.txt";
    commandLine += L" \"" + Widen(argument) + L"\"";
    expected.push_back(argument);
  }
  StartWith(TestArgs(commandLine));
  EXPECT_EQ(ModelTexts(), expected);
}

}  // namespace
}  // namespace quillet
