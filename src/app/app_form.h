// TAppForm, the main window: the item list, the run options, the menus and the opening run.
// Every control is a direct child of the main window; the rows (PanelClose, Panel1, Panel4,
// Panel8, Panel2, Panel7) exist only as rectangles of the layout, so every notification
// reaches one window procedure.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ui/popup_under_button.h"
#include "ui/window_base.h"
#include "list/item_list.h"
#include "list/run_progress.h"
#include "platform/win32/registry.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/checker_system.h"
#include "platform/taskbar_progress.h"
#include "service/update_check_run.h"
#include "store/list_files.h"
#include "store/remembered_list.h"
#include "store/settings_store.h"

namespace quillet {

// What the window needs from outside. The program passes the real values; a test passes a
// scratch settings folder so it never touches the program folder.
struct AppFormArgs {
  std::wstring programFile;                // version record source; empty: the running program
  std::optional<std::string> settingsDir;  // used instead of the writability probe when set
  bool quitOnDestroy = true;               // end the message loop when the window is gone
  // The command line TimerParam reads; empty optional: the process's own.
  std::optional<std::wstring> commandLine;
  // The per-user Run key path under HKEY_CURRENT_USER; tests pass a scratch key.
  std::string runKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion";
  // The background update check at start; the window's own tests leave it out.
  bool startUpdateCheck = true;
};

// Program-wide values, set once by FormCreate and only read afterwards.
struct AppValues {
  std::string company;  // AppCompany
  std::string product;  // AppProduct
  std::string caption;  // AppCaption = company + " - " + product
  std::string version;  // AppVersion, "%d.%d"
};

// AllowDropMessages: lets Explorer running without elevation drop files on an elevated process.
void AllowDropMessages(HWND window, bool enable);

class TAppForm final : public WindowBase {
 public:
  static constexpr UINT_PTR kTimerAdminId = 1;        // TimerAdmin, 1 ms, once
  static constexpr UINT_PTR kTimerParamId = 2;        // TimerParam, 100 ms, once
  static constexpr UINT_PTR kTimerCheckerId = 3;      // TimerChecker, every 1000 ms until done
  static constexpr UINT_PTR kTimerSaveChangesId = 4;  // TimerSaveChanges, every 1000 ms
  static constexpr UINT_PTR kTimerCloseId = 5;        // TimerClose, the auto-close countdown
  static constexpr UINT_PTR kTimerProgressId = 6;     // a run's held progress, once
  static constexpr int kClientWidth = 497;
  static constexpr int kClientHeight = 480;

  explicit TAppForm(AppFormArgs args);
  ~TAppForm() override;

  // Creates the window (hidden) and runs FormCreate. Throws VersionDataError when the version
  // record can't be read, std::runtime_error (with the system's text) when the window can't be
  // made; either aborts the start-up. What the first paint doesn't show (the
  // tooltips, the menu images, the drop target, the settings file) follows on the first timer
  // tick or when a menu opens, whichever comes first (FinishStartup).
  void Create();
  void Show(int showCommand);

  const AppValues& Values() const { return values_; }
  const std::string& SettingsDir() const { return settingsDir_; }
  SettingsStore& Store() { return *store_; }
  ItemList& List() { return list_; }
  HWND Control(int id) const { return GetDlgItem(Handle(), id); }
  HMENU MainMenu() const { return mainMenu_; }

  // Ekle: appends one entry and shows it.
  void Ekle(const std::string& text, bool checked);
  // Brings the list view in step with the model (count, selection, focus); ensureVisible
  // scrolls the current entry into view.
  void SyncListView(bool ensureVisible = false);
  // ListBox1DragDrop's drop index of a screen point: the entry under it, the count below the
  // last entry, -1 outside the list's client area.
  std::ptrdiff_t DropIndexAt(POINT screenPoint) const;

  // ListeYukle: appends the entries of a list file (a .qlst also applies its options).
  // Throws IoError (naming the file) when it can't be read; nothing is added then.
  void ListeYukle(const std::string& fileName);

  // The options of the Settings menu that are one key of settings.ini and one check mark.
  enum class MenuOption { Remember, AutoOpenList, AutoClose, StayOnTop };
  bool OptionOn(MenuOption option) const { return options_[static_cast<std::size_t>(option)]; }
  bool StayOnTopChecked() const { return OptionOn(MenuOption::StayOnTop); }
  bool Running() const { return running_; }
  // What the status bar shows now: the run's progress during a run, otherwise the hint.
  const std::wstring& StatusText() const { return statusText_; }
  // The taskbar button's progress; tests put their own recorder in.
  void SetTaskbarProgress(std::unique_ptr<TaskbarProgress> taskbar) { taskbar_ = std::move(taskbar); }
  bool CountdownActive() const { return timerCloseEnabled_; }
  long long CloseCountdown() const { return closeCountdown_; }

  // The main loop's look at each message before it is dispatched: Enter on a focused push
  // button presses that button; Esc during a run stops it, whichever control has the focus;
  // every other dialog key (Tab, Enter for the main button) goes through the dialog manager.
  // True when the message was used up.
  bool PreTranslateMessage(MSG& message);

  // The stay-on-top bracket around a modal window.
  void WithStayOnTopBracket(const std::function<void()>& showModal);
  void StayOnTopYap() { SetStayOnTop(true); }
  void StayOnTopYapMa() { SetStayOnTop(false); }

 protected:
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  // app_form.cpp: creation, layout, hints, menus.
  struct ControlPlace {
    int id;
    int x, y, width, height;
  };
  void CreateControls();
  HWND AddControl(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, int id,
                  HFONT font);
  void CreateMenus();
  void AddMenuImages();
  void CreateTooltip();
  static LRESULT CALLBACK SpeedButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR refData);
  void AddHint(HWND control, const std::wstring& hint);
  void ShowButtonMenu(HWND button, HMENU menu);
  void ReadLogOnValue();
  void CreateRememberedSnapshot();
  void StartTimers();
  void OnTimer(UINT_PTR id);
  void FormResize(UINT sizeType);
  void Layout();
  // Where Layout puts each control for a client area of this width and height (the status bar
  // docks itself and must be sized first); also sets panel8_.
  std::vector<ControlPlace> PlaceControls(int clientWidth, int clientHeight);
  void UpdateHintForWindow(HWND window);
  // The hint of what is under the pointer or the menu item; during a run the status bar keeps
  // the run's progress and shows the latest hint again when the run ends.
  void SetStatusText(const std::wstring& text);
  void SetRunStatus(const std::wstring& text);
  // A run's progress, paced: shown now, or held for the progress timer.
  void ShowRunProgress(const RunProgress& progress);
  void ShowHeldRunProgress();
  // On the status bar and the taskbar button at once.
  void DisplayRunProgress(const RunProgress& progress);
  void EndRunProgress();
  void ShowStatus();
  void OnMenuSelect(UINT item, UINT flags, HMENU menu);
  bool OnCommand(int id, int code, HWND control);
  bool DispatchCommand(int id, int code, HWND control);
  bool OnNotify(NMHDR* header, LRESULT& result);
  void Exit1Click();
  void EndApplication();

  // app_form_startup.cpp: FormCreate, the stored settings at start, the work after the first
  // paint.
  void FormCreate();
  void ApplyStartupGeometry();
  void ApplyStartupSettings();
  void FinishStartup();
  // The option handlers' writes: at once, except while ApplyStartupSettings holds them; the
  // file is then written after the first paint.
  void SettingsChanged();
  void WriteHeldSettings();

  // app_form_list.cpp: ListBox1 and the editing commands.
  void CreateListView();
  static LRESULT CALLBACK ListSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR id, DWORD_PTR refData);
  bool OnListNotify(NMHDR* header, LRESULT& result);
  void ToggleCheckAt(std::ptrdiff_t index);
  void BeginDrag();
  void EndDrag(bool drop, POINT screenPoint);
  void ShowListContextMenu(LPARAM position);
  void ListEdit(void (ItemList::*operation)());
  void Copy1Click();
  void Paste1Click();
  void OnListDropFiles(HDROP drop);

  // app_form_add.cpp: the add commands.
  void AddFiles1Click();
  void AddFolder1Click();
  void AddSubfolders1Click();
  void AddRecursiveSubfolders1Click();
  void AddURLs1Click();
  void AddAnything1Click();
  void ShowAddWindow(const std::wstring& initialText);
  std::vector<std::wstring> RunFolderPicker(bool multiple);
  void AltKlasorlerEkle1(const std::string& folder);
  void IciceAltKlasorlerEkle1(const std::string& folder);
  void AddSubfoldersOf(const std::string& folder, bool allLevels);
  void AddLines(const std::vector<std::string>& lines);

  // app_form_files.cpp: list files, the batch export, the remembered list, the command line.
  void Button3Click();
  void Button4Click();
  void Button5Click();
  void ApplyListFileSettings(const std::vector<ListFileSetting>& settings);
  void AppendListFileContent(ListFileContent content);
  void TimerParamTimer();
  // The start-up list: the remembered list, then what the command line names, then the opening
  // run when the list opens at start. Runs once the settings are known.
  void OpenStartupList();
  void TimerSaveChangesTimer();
  // settings.ini could not be read at start: one more try; once it reads, the options are
  // taken as a start would take them, and the start-up list that waited for them follows.
  void RetryHeldSettings();


  // app_form_update.cpp: the update check and its notice.
  void TimerCheckerTimer();
  void StartChecker();
  void UpdateNotifications1Click();

  // app_form_help.cpp: the feedback and about windows of the Help menu.
  void SendFeedback1Click();
  void About1Click();

  // app_form_system.cpp: start at log-on, run as administrator, reset, online help.
  void AutoRunatStartup1Click();
  void GrantAdministratorPrivileges1Click();
  void TimerAdminTimer();
  void ResettoDefaults1Click();
  void Help2Click();

  // app_form_run.cpp: the opening run, the countdown and the run options.
  void BitBtn1Click();
  void StartCountdown();
  void TimerCloseTimer();
  void Button6Click();
  void SetRadioChoice(bool useDefaultProgram);
  void RadioButton1Click();
  void RadioButton2Click();
  void Edit1Change();
  void BitBtn2Click();
  void SpinEdit1Change();
  void SpinEdit1Step(int delta);
  void StayonTop1Click();
  void SetMenuCheck(UINT id, bool checked);
  // The option's state and check mark, without writing settings.ini: the stored options at
  // start, and a list file's options for this session.
  void ShowOption(MenuOption option, bool on);
  // The option's menu command: writes its key (1 or 0, at once), then the state and the check.
  void SetOption(MenuOption option, bool on);
  // Stay-on-top also moves the window into or out of the topmost band.
  void SetStayOnTop(bool on);
  std::string ControlTextUtf8(int id) const;
  // Sets a control's text only when it differs, so a change handler runs only for a change.
  void SetControlText(int id, std::string_view text);

  AppFormArgs args_;
  AppValues values_;
  std::string settingsDir_;
  // A file another program holds for a moment is waited for with the window still working.
  Win32FileSystem fileSystem_;
  std::unique_ptr<SettingsStore> store_;
  Win32AnsiDecoder ansi_;
  std::unique_ptr<Win32RunKey> runKey_;               // open for the life of the window
  std::unique_ptr<RememberedList> remembered_;  // files.txt and SavedListSnapshot
  ItemList list_;

  // The update check: started on TimerChecker's first tick, polled on the later ones. The
  // run's system object holds the update key, which the menu item writes through afterwards.
  UpdateCheckRun updateCheck_;
  bool updateNotifications_ = true;  // UpdateNotifications1 checked

  // Fonts, images and menus live as long as the window.
  UniqueFont font_, boldFont_, closeFont_, listFont_;
  std::vector<UniqueIcon> icons_;
  std::vector<UniqueBitmap> menuBitmaps_;
  struct MenuImage {
    HMENU menu;
    UINT id;
    int icon;
  };
  std::vector<MenuImage> menuImages_;  // added by FinishStartup
  std::vector<ControlPlace> places_;   // where CreateControls creates each control
  SIZE laidOutClient_{-1, -1};         // the client size the controls are placed for
  bool startupFinished_ = false;
  bool holdSettingsFile_ = false;
  int heldSettingsWrites_ = 0;
  bool startupListWaitsForSettings_ = false;
  std::set<int> commandsUnderWay_;  // commands whose handler has not returned yet (OnCommand)
  HMENU mainMenu_ = nullptr;  // destroyed with the window it is attached to
  UniqueMenu popupAdd_, popupRemove_, popupRightClick_;
  HWND list_view_ = nullptr;
  HWND tooltip_ = nullptr;
  HWND status_ = nullptr;

  std::map<HWND, std::wstring> hints_;
  std::map<UINT, std::wstring> menuHints_;
  std::wstring statusText_;  // shown in the status bar
  std::wstring hintText_;
  std::wstring runStatus_;   // empty outside a run
  std::unique_ptr<TaskbarProgress> taskbar_;
  ProgressPacer progressPacer_{kRunProgressIntervalMs};
  RECT panel8_{};

  bool saveGeometry_ = false;
  UINT lastSizeType_ = SIZE_RESTORED;
  SIZE lastSize_{-1, -1};
  bool startMaximized_ = false;

  bool logOn_ = false;  // AutoRunatStartup1
  std::array<bool, 4> options_{};  // by MenuOption
  bool useDefaultProgram_ = true;  // RadioButton1 checked, else RadioButton2
  bool panelCloseVisible_ = false;
  bool timerCloseEnabled_ = false;
  long long closeCountdown_ = 0;
  bool running_ = false;
  bool stopRequested_ = false;  // Esc during the run
  bool endRequested_ = false;
  bool syncing_ = false;
  std::ptrdiff_t shownCurrent_ = -1;
  bool dragging_ = false;

  std::wstring lastFolder_;               // LastFolder
  std::vector<std::string> folderList_;  // FolderList
};

}  // namespace quillet
