// The ties to Windows: start at log-on (the per-user Run key), restarting with administrator
// rights and marking an elevated process, reset to defaults with a restart, online help.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "app/app_form.h"
#include "ui/control_ids.h"
#include "store/log_on.h"
#include "util/maker_addresses.h"
#include "util/text.h"

namespace quillet {

void TAppForm::ReadLogOnValue() {
  runKey_ = std::make_unique<Win32RunKey>(args_.runKeyPath);
  logOn_ = LogOnValuePresent(*runKey_, values_.caption);
  SetMenuCheck(IDM_AUTORUNATSTARTUP1, logOn_);
}

void TAppForm::AutoRunatStartup1Click() {
  logOn_ = ToggleLogOn(*runKey_, values_.caption, Narrow(ProgramFilePath()), logOn_);
  SetMenuCheck(IDM_AUTORUNATSTARTUP1, logOn_);
}

void TAppForm::GrantAdministratorPrivileges1Click() {
  // The new instance finds the list through the remembered list; this one ends whatever the
  // elevation prompt answered.
  ShellExecuteW(Handle(), L"runas", ProgramFilePath().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  EndApplication();
}

void TAppForm::TimerAdminTimer() {
  KillTimer(Handle(), kTimerAdminId);
  if (!IsUserAnAdmin()) return;
  // Once to the front, above the window that started it; the window then goes back to the band
  // its stay-on-top option names, so a checked "总在最前面" holds in an elevated start too.
  SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(Handle());
  SetWindowPos(Handle(), StayOnTopChecked() ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

  MENUITEMINFOW item{};
  item.cbSize = sizeof(item);
  item.fMask = MIIM_BITMAP | MIIM_STRING | MIIM_STATE;
  item.hbmpItem = nullptr;
  wchar_t caption[] = L"使用管理员权限运行";
  item.dwTypeData = caption;
  item.fState = MFS_DISABLED;
  SetMenuItemInfoW(mainMenu_, IDM_GRANTADMINISTRATORPRIVILEGES1, FALSE, &item);
}

void TAppForm::ResettoDefaults1Click() {
  if (MessageBoxW(Handle(), L"重新启动应用程序?", L"确认", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  saveGeometry_ = false;
  // The save timer would write the cleared list again right after files.txt is deleted; a
  // reset leaves neither file behind.
  KillTimer(Handle(), kTimerSaveChangesId);
  list_.RemoveAll();
  SyncListView();
  const std::string settingsFile = settingsDir_ + "settings.ini";
  if (fileSystem_.FileExists(settingsFile)) fileSystem_.DeleteFile(settingsFile);
  if (fileSystem_.FileExists(remembered_->Path())) fileSystem_.DeleteFile(remembered_->Path());
  runKey_->DeleteValue(values_.caption);
  ProcessMessages();
  ShellExecuteW(Handle(), nullptr, ProgramFilePath().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  EndApplication();
}

void TAppForm::Help2Click() {
  ShellExecuteW(GetDesktopWindow(), L"open", Widen(HelpPageAddress(values_.product)).c_str(), nullptr,
                nullptr, SW_HIDE);
}

}  // namespace quillet
