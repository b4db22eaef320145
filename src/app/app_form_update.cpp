// The update check seen from the main window: the checker's start on a thread of its own, the
// poll for its end, the notice window and the notifications option.
#include <windows.h>


#include "app/app_form.h"
#include "ui/control_ids.h"
#include "service/update_check_run.h"
#include "windows/newversion.h"
#include "service/service_request.h"
#include "util/maker_addresses.h"
#include "util/text.h"

namespace quillet {

void TAppForm::TimerCheckerTimer() {
  if (!updateCheck_.Started()) {
    StartChecker();
    return;
  }
  const CheckResult* result = updateCheck_.Poll();
  if (!result) {
    // A run that ended without its result (the update key could not be written) gives none
    // later either; the menu item stays off, since its choice could not be kept.
    if (updateCheck_.Ended()) KillTimer(Handle(), kTimerCheckerId);
    return;
  }
  KillTimer(Handle(), kTimerCheckerId);
  // The check never shows its failures to the user; its log goes where a debugger sees it.
  if (result->error) OutputDebugStringW(Widen("Quillet update check: " + result->errorLog + "\n").c_str());
  EnableMenuItem(mainMenu_, IDM_UPDATENOTIFICATIONS1, MF_BYCOMMAND | MF_ENABLED);
  if (result->showUpdateValue == 0) {
    updateNotifications_ = false;
    SetMenuCheck(IDM_UPDATENOTIFICATIONS1, false);
  }
  if (result->newVersionFound) {
    TNewVer::Create(NewVersionNotice{values_.product, result->newVersionText, result->downloadAddress, Handle()});
  }
}

void TAppForm::StartChecker() {
  const std::string override = EnvironmentVariable("QUILLET_SERVICE_ADDRESS");
  updateCheck_.Start(std::make_shared<Win32CheckerSystem>(),
                     CheckerInput{values_.caption, values_.version, ServiceAddressFrom(override.c_str(), kServiceAddress),
                                  std::string(kDownloadAddress)});
}

void TAppForm::UpdateNotifications1Click() {
  // Enabled only after the run is done, so the update key is the run's and idle.
  CheckerSystem* system = updateCheck_.System();
  if (!system) return;
  system->Key().Write("ShowUpdate", updateNotifications_ ? "0" : "1");
  updateNotifications_ = !updateNotifications_;
  SetMenuCheck(IDM_UPDATENOTIFICATIONS1, updateNotifications_);
}

}  // namespace quillet
