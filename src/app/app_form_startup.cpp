// TAppForm's start-up: FormCreate with the stored settings it applies, in two halves. What the
// first paint shows (the caption, the settings folder, the window's place and size, the
// options) comes before the window is shown; the rest follows in FinishStartup.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "app/app_form.h"
#include "ui/control_ids.h"
#include "app/versioninfo.h"
#include "util/text.h"

namespace quillet {

// What decides the first paint: the caption, the settings folder and the stored geometry.
// Registering the drop target waits for FinishStartup; nothing can be dropped on a window that
// isn't shown yet.
void TAppForm::FormCreate() {
  HWND window = Handle();
  const std::wstring programFile = args_.programFile.empty() ? ProgramFilePath() : args_.programFile;
  TEXEVersionData version = ReadVersionData(programFile);
  values_.company = Narrow(version.CompanyName);
  values_.product = Narrow(version.ProductName);
  values_.version = Narrow(ReadFixedVersionText(programFile));
  values_.caption = values_.company + " - " + values_.product;
  SetWindowTextW(window, Widen(values_.caption).c_str());

  if (args_.settingsDir) {
    settingsDir_ = *args_.settingsDir;
    if (settingsDir_.empty() || settingsDir_.back() != '\\') settingsDir_ += '\\';
  } else {
    settingsDir_ = ChooseSettingsDir(fileSystem_, Narrow(FolderOf(programFile)), AppDataFolder, values_.company,
                                     values_.product);
  }

  ReadLogOnValue();
  CreateRememberedSnapshot();

  store_ = std::make_unique<SettingsStore>(fileSystem_, settingsDir_);
  store_->Open();
  ApplyStartupGeometry();

  folderList_.clear();
}

// The stored place, size and state of the window, before its controls exist.
void TAppForm::ApplyStartupGeometry() {
  HWND window = Handle();
  const ScreenSize screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const StartupSettings stored = ReadStartupSettings(*store_, screen, EnvironmentVariable("WINDIR"));
  RECT designed{};
  GetWindowRect(window, &designed);
  const WindowBounds bounds = StartupBounds(stored, designed.right - designed.left,
                                            designed.bottom - designed.top, screen);
  SetWindowPos(window, nullptr, bounds.left, bounds.top, bounds.width, bounds.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  if (stored.maximized) startMaximized_ = true;
  saveGeometry_ = true;
}

// The stored options, once their controls exist; again when settings.ini could be read only
// later (the window's place and size then stay where the user has them).
void TAppForm::ApplyStartupSettings() {
  HWND window = Handle();
  const ScreenSize screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const StartupSettings stored = ReadStartupSettings(*store_, screen, EnvironmentVariable("WINDIR"));
  ShowOption(MenuOption::Remember, stored.remember);
  ShowOption(MenuOption::StayOnTop, stored.stayOnTop);
  if (stored.stayOnTop) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  } else if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) {
    // Settings read late (another program held the file): the choice made meanwhile goes.
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  ShowOption(MenuOption::AutoClose, stored.autoClose);
  ShowOption(MenuOption::AutoOpenList, stored.autoOpenList);
  // Through the controls, so their change handlers store the values as for the user.
  // The file is written once the window is painted (FinishStartup).
  holdSettingsFile_ = true;
  SetControlText(IDC_SPINEDIT1, std::to_string(stored.wait));
  SetControlText(IDC_EDIT1, stored.openWith);
  SetRadioChoice(!stored.openWithNamedProgram);  // no change, and no write, at a normal start
  holdSettingsFile_ = false;
}

// The start-up work that the first paint doesn't show. Timers fire from the message loop once
// nothing else waits, so the first tick (TimerAdmin's, 1 ms) comes after the first paint; a
// menu opened even earlier gets its images from WM_INITMENU.
void TAppForm::FinishStartup() {
  if (startupFinished_) return;
  startupFinished_ = true;
  HWND window = Handle();
  DragAcceptFiles(window, TRUE);
  AllowDropMessages(window, true);
  DragAcceptFiles(list_view_, TRUE);
  CreateTooltip();
  AddMenuImages();
  WriteHeldSettings();
}

void TAppForm::SettingsChanged() {
  if (holdSettingsFile_) {
    ++heldSettingsWrites_;
  } else {
    store_->UpdateFile();
  }
}

void TAppForm::WriteHeldSettings() {
  // Every held write would put the same bytes on disk, so one that succeeds ends the rest. A
  // failed one is reported and the next is tried, as each handler's own write would have been.
  while (heldSettingsWrites_ > 0) {
    --heldSettingsWrites_;
    try {
      store_->UpdateFile();
      heldSettingsWrites_ = 0;
    } catch (const std::exception& error) {
      ReportHandlerFailure(error);
    }
  }
}

}  // namespace quillet
