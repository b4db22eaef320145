// The main window's tests: the window created in this process on a scratch settings folder and
// a scratch Run key, and what the tests read of it. Shared by the files of its tests.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/app_form.h"
#include "ui/control_ids.h"
#include "modal_script.h"
#include "platform/win32/win32_system.h"
#include "temp_folder.h"
#include "util/text.h"

namespace quillet {

// Whether the window is in the topmost band is checked only on the way out: Wine under a
// window manager shows WS_EX_TOPMOST on the way in only while a window of its session is
// active, which a test process without a visible window can't arrange.
class AppFormTest : public ::testing::Test {
 public:
  using Settings = std::map<std::string, std::string>;

  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                        ICC_UPDOWN_CLASS | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
  }

  // A window on the scratch folder and a scratch Run key, without the update check.
  AppFormArgs TestArgs(std::wstring commandLine = L"\"quillet.exe\"") const {
    AppFormArgs args;
    args.settingsDir = folder_.path();
    args.quitOnDestroy = false;
    args.commandLine = std::move(commandLine);
    args.runKeyPath = "Software\\QuilletTests\\AppForm";
    args.startUpdateCheck = false;
    return args;
  }
  void Start() { StartWith(TestArgs()); }
  void StartWith(AppFormArgs args) {
    form_ = std::make_unique<TAppForm>(std::move(args));
    form_->Create();
    // The one-shot start-up timers (the elevated-process mark, every Wine process counts as
    // elevated, and the start-up loading) fire before the test acts, as for the user.
    const testing::TimerTicks ticks(Window());
    EXPECT_TRUE(testing::PumpUntil([&] {
      return ticks.Count(TAppForm::kTimerAdminId) > 0 && ticks.Count(TAppForm::kTimerParamId) > 0;
    })) << "the start-up timers did not fire";
  }
  HWND Window() const { return form_->Handle(); }
  HWND Control(int id) const { return form_->Control(id); }
  HWND List() const { return Control(IDC_LISTBOX1); }

  void Command(int id) { SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  // What the main window showed of the stay-on-top bracket while the add window was open.
  struct Bracket {
    bool seen = false, topmostWhileOpen = true, checkedWhileOpen = true;
    std::string storedWhileOpen;
  };
  // Opens the add window through command; a script notes what it sees, types text, presses OK.
  Bracket TypeIntoAddWindow(int command, const std::wstring& text) {
    Bracket bracket;
    testing::Script script;
    script.steps.push_back([&] {
      HWND window = FindWindowW(QUILLET_ADDURL_CLASS, nullptr);
      if (!window) return false;
      bracket.seen = true;
      bracket.topmostWhileOpen = Topmost();
      bracket.checkedWhileOpen = MenuChecked(IDM_STAYONTOP1);
      bracket.storedWhileOpen = ReadSettings()["StayOnTop"];
      SetWindowTextW(GetDlgItem(window, IDC_ADDURL_MEMO1), text.c_str());
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
      return true;
    });
    script.giveUp = [] {
      if (HWND window = FindWindowW(QUILLET_ADDURL_CLASS, nullptr)) PostMessageW(window, WM_CLOSE, 0, 0);
    };
    testing::RunScript([&] { Command(command); }, std::move(script));
    return bracket;
  }
  void Click(int id) {
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(id)));
  }

  std::string SettingsPath() const { return folder_ / "settings.ini"; }
  std::string SettingsBytes() {
    return Win32FileSystem().ReadFile(SettingsPath()).value_or("<missing>");
  }
  Settings ReadSettings() {
    Settings keys;
    std::string bytes = SettingsBytes();
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
    for (std::string_view line : SplitLines(bytes)) {
      std::size_t eq = line.find('=');
      if (eq != std::string_view::npos) keys[std::string(line.substr(0, eq))] = std::string(line.substr(eq + 1));
    }
    return keys;
  }

  bool MenuChecked(UINT id) const {
    return (GetMenuState(form_->MainMenu(), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
  }
  bool Topmost() const { return (GetWindowLongPtrW(Window(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }
  // The update notifications item stays grayed until the update check has ended.
  bool UpdateItemGrayed() const {
    return (GetMenuState(form_->MainMenu(), IDM_UPDATENOTIFICATIONS1, MF_BYCOMMAND) & MF_GRAYED) != 0;
  }

  int ViewCount() const { return static_cast<int>(SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0)); }
  int ViewSelection() const { return ListView_GetNextItem(List(), -1, LVNI_SELECTED); }
  bool ViewChecked(int index) const {
    UINT state = ListView_GetItemState(List(), index, LVIS_STATEIMAGEMASK);
    return (state >> 12) == 2;
  }
  std::string ViewText(int index) const {
    wchar_t buffer[512] = {};
    ListView_GetItemText(List(), index, 0, buffer, 512);
    return Narrow(buffer);
  }
  void SelectInView(int index) {
    ListView_SetItemState(List(), index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  std::vector<std::string> ModelTexts() {
    std::vector<std::string> texts;
    for (const Entry& entry : form_->List().Entries()) texts.push_back(entry.text);
    return texts;
  }
  POINT RowCentreOnScreen(int index) const {
    RECT row{};
    ListView_GetItemRect(List(), index, &row, LVIR_BOUNDS);
    POINT point{(row.left + row.right) / 2, (row.top + row.bottom) / 2};
    ClientToScreen(List(), &point);
    return point;
  }

  testing::TempFolder folder_;
  std::unique_ptr<TAppForm> form_;
};

}  // namespace quillet
