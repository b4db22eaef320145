// The main window's start-up in two halves: what the first paint shows is made before the
// window is shown, in place; the rest (tooltips, menu images, the drop target, the settings
// file) follows on the first timer tick or as soon as a menu opens, and nothing of it is lost
// when the window ends even earlier.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/app_form.h"
#include "ui/control_ids.h"
#include "modal_script.h"
#include "platform/win32/win32_system.h"
#include "temp_folder.h"
#include "util/text.h"

namespace quillet {
namespace {

constexpr char kScratchKey[] = "Software\\QuilletTests\\AppFormStartup";
constexpr wchar_t kScratchRunKey[] = L"Software\\QuilletTests\\AppFormStartup\\Run";

class AppFormStartupTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                        ICC_UPDOWN_CLASS | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
  }
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, Widen(kScratchKey).c_str()); }
  void TearDown() override {
    form_.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, Widen(kScratchKey).c_str());
  }

  // Creates the window without running its message loop: no timer has ticked yet.
  void Create() {
    AppFormArgs args;
    args.settingsDir = folder_.path();
    args.quitOnDestroy = false;
    args.commandLine = L"\"quillet.exe\"";
    args.runKeyPath = kScratchKey;
    args.startUpdateCheck = false;
    form_ = std::make_unique<TAppForm>(std::move(args));
    form_->Create();
  }
  HWND Window() const { return form_->Handle(); }
  bool MenuChecked(UINT id) const {
    return (GetMenuState(form_->MainMenu(), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
  }
  std::string SettingsBytes() const {
    return Win32FileSystem().ReadFile(folder_ / "settings.ini").value_or("<missing>");
  }
  std::string DefaultSettings() const {
    return "\xEF\xBB\xBF[Settings]\r\nOpenWith=" + EnvironmentVariable("WINDIR") + "\\notepad.exe\r\n\r\n";
  }

  // Every control's rectangle in the window's client area, and the list's column width.
  std::map<int, RECT> ControlRects() const {
    std::map<int, RECT> rects;
    for (HWND child = GetWindow(Window(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      RECT rect{};
      GetWindowRect(child, &rect);
      MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&rect), 2);
      rects[GetDlgCtrlID(child)] = rect;
    }
    return rects;
  }
  std::vector<int> ChildOrder() const {
    std::vector<int> ids;
    for (HWND child = GetWindow(Window(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
      ids.push_back(GetDlgCtrlID(child));
    return ids;
  }

  testing::TempFolder folder_;
  std::unique_ptr<TAppForm> form_;
};

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The controls are made where the layout puts them for the size the window opens with; a
// layout at that size afterwards (resize away and back) moves none of them.
TEST_F(AppFormStartupTest, ControlsStartWhereTheLayoutPutsThem) {
  struct Case {
    const char* name;
    std::string settings;
  };
  const Case cases[] = {
      {"designed size", ""},
      {"stored larger size", "\xEF\xBB\xBF[Settings]\r\nWidth=700\r\nHeight=600\r\n\r\n"},
      {"stored smaller size", "\xEF\xBB\xBF[Settings]\r\nWidth=420\r\nHeight=380\r\n\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    form_.reset();
    DeleteFileW(Widen(folder_ / "settings.ini").c_str());
    if (!c.settings.empty()) folder_.WriteFile("settings.ini", c.settings);
    Create();
    const std::map<int, RECT> created = ControlRects();
    const std::vector<int> order = ChildOrder();
    ASSERT_GE(created.size(), 20u);
    EXPECT_EQ(order.back(), IDC_STATUSBAR1);  // lowest in the z-order, after every other control

    RECT window{};
    GetWindowRect(Window(), &window);
    const int width = window.right - window.left, height = window.bottom - window.top;
    SetWindowPos(Window(), nullptr, 0, 0, width + 37, height + 23, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(Window(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const std::map<int, RECT> laidOut = ControlRects();
    ASSERT_EQ(laidOut.size(), created.size());
    for (const auto& [id, rect] : created) {
      SCOPED_TRACE(id);
      EXPECT_TRUE(SameRect(rect, laidOut.at(id)))
          << "made at " << rect.left << "," << rect.top << " " << rect.right - rect.left << "x"
          << rect.bottom - rect.top << ", laid out at " << laidOut.at(id).left << "," << laidOut.at(id).top
          << " " << laidOut.at(id).right - laidOut.at(id).left << "x" << laidOut.at(id).bottom - laidOut.at(id).top;
    }
    EXPECT_EQ(ChildOrder(), order);
    HWND list = GetDlgItem(Window(), IDC_LISTBOX1);
    RECT listClient{};
    GetClientRect(list, &listClient);
    EXPECT_EQ(ListView_GetColumnWidth(list, 0), listClient.right);
  }
}

// What the menu and the window offer while the menu is open.
struct OpenMenuLook {
  bool images = false;
  bool checks = false;
  bool tooltips = false;
  bool dropTarget = false;
};

HWND TooltipOfThisThread() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM param) -> BOOL {
        wchar_t name[64] = {};
        GetClassNameW(hwnd, name, 64);
        if (std::wstring(name) != TOOLTIPS_CLASSW) return TRUE;
        *reinterpret_cast<HWND*>(param) = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

OpenMenuLook LookAtOpenMenu(HWND window, HMENU menu) {
  OpenMenuLook look;
  MENUITEMINFOW item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_BITMAP;
  look.images = true;
  for (UINT id : {IDM_LOADFILESFROMFILELIST1, IDM_SAVELISTINTOFILE1, IDM_CREATEBATCHFILE1, IDM_EXIT1,
                  IDM_HELP2, IDM_SENDFEEDBACK1, IDM_ABOUT1}) {
    item.hbmpItem = nullptr;
    look.images = look.images && GetMenuItemInfoW(menu, id, FALSE, &item) && item.hbmpItem;
  }
  auto checked = [menu](UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; };
  look.checks = checked(IDM_REMEMBER1) && checked(IDM_AUTOCLOSE1) && checked(IDM_AUTORUNATSTARTUP1) &&
                !checked(IDM_STAYONTOP1) && !checked(IDM_AUTOOPENLIST1);

  HWND tooltip = TooltipOfThisThread();
  look.tooltips = tooltip != nullptr;
  const std::pair<int, std::wstring> hints[] = {
      {IDC_BUTTON1, L"将项目添加到列表"}, {IDC_SPEEDBUTTON6, L"向上"},
      {IDC_SPINEDIT1, L"打开每个列表项目之间的延迟"}, {IDC_RADIOBUTTON2, L"使用指定的应用程序打开列表项目"},
      {IDC_BITBTN1, L"打开所有列表项目"}};
  for (const auto& [id, hint] : hints) {
    wchar_t text[128] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(window, id));
    tool.lpszText = text;
    const bool registered = SendMessageW(tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
    tool.lpszText = text;
    SendMessageW(tooltip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
    look.tooltips = look.tooltips && registered && hint == text;
  }
  auto accepts = [](HWND hwnd) { return (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0; };
  look.dropTarget = accepts(window) && accepts(GetDlgItem(window, IDC_LISTBOX1));
  return look;
}

// A menu opened before the first timer tick already shows every image and check mark; the
// tooltips, the drop target and the settings file are there from then on too.
TEST_F(AppFormStartupTest, AMenuOpenedRightAfterStartFindsEverythingInPlace) {
  folder_.WriteFile("settings.ini", "\xEF\xBB\xBF[Settings]\r\nRemember=1\r\nAutoClose=1\r\n\r\n");
  RegSetKeyValueW(HKEY_CURRENT_USER, kScratchRunKey, L"KALMIRO - Quillet", REG_SZ, L"C:\\quillet.exe",
                  sizeof(L"C:\\quillet.exe"));
  Create();
  // The timers must not do it first: the menu is the first thing to happen.
  for (UINT_PTR timer : {TAppForm::kTimerAdminId, TAppForm::kTimerParamId, TAppForm::kTimerSaveChangesId}) {
    KillTimer(Window(), timer);
  }
  OpenMenuLook look;
  testing::RunScript(
      [&] {
        TrackPopupMenu(GetSubMenu(form_->MainMenu(), 0), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, 10, 10, 0,
                       Window(), nullptr);
      },
      {{[&] {
        if (!testing::ShownMenu()) return false;
        look = LookAtOpenMenu(Window(), form_->MainMenu());
        EndMenu();
        return true;
      }}});
  EXPECT_TRUE(look.images) << "a menu item without its picture";
  EXPECT_TRUE(look.checks) << "a check mark of the stored options or the log-on value is wrong";
  EXPECT_TRUE(look.tooltips) << "a control without its tooltip";
  EXPECT_TRUE(look.dropTarget) << "the window or the list doesn't accept dropped files";
  EXPECT_EQ(SettingsBytes(), "\xEF\xBB\xBF[Settings]\r\nRemember=1\r\nAutoClose=1\r\nOpenWith=" +
                                 EnvironmentVariable("WINDIR") + "\\notepad.exe\r\n\r\n");
}

// The first timer tick finishes the start-up as well, and a window that ends before any tick
// still leaves the settings file the start-up wrote.
TEST_F(AppFormStartupTest, TheStartupSettingsReachTheFileEitherWay) {
  Create();
  {
    const testing::TimerTicks ticks(Window());
    ASSERT_TRUE(testing::PumpUntil([&] { return ticks.Total() > 0; })) << "no timer fired";
  }
  EXPECT_EQ(SettingsBytes(), DefaultSettings());
  MENUITEMINFOW item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_BITMAP;
  ASSERT_TRUE(GetMenuItemInfoW(form_->MainMenu(), IDM_EXIT1, FALSE, &item));
  EXPECT_NE(item.hbmpItem, nullptr);

  form_.reset();
  DeleteFileW(Widen(folder_ / "settings.ini").c_str());
  Create();
  form_.reset();
  EXPECT_EQ(SettingsBytes(), DefaultSettings());
}

}  // namespace
}  // namespace quillet
