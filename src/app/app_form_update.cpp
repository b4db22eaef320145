// The update check seen from the main window: the checker's start on a thread of its own, the
// poll for its end, the notice window and the notifications option.
#include <windows.h>

#include <thread>

#include "app/app_form.h"
#include "ui/control_ids.h"
#include "windows/newversion.h"
#include "service/service_request.h"
#include "util/maker_addresses.h"

namespace quillet {

void TAppForm::TimerCheckerTimer() {
  if (!checkerStarted_) {
    checkerStarted_ = true;
    StartChecker();
    return;
  }
  if (!checkResult_ || !checkResult_->done.load(std::memory_order_acquire)) return;
  KillTimer(Handle(), kTimerCheckerId);
  EnableMenuItem(mainMenu_, IDM_UPDATENOTIFICATIONS1, MF_BYCOMMAND | MF_ENABLED);
  if (checkResult_->showUpdateValue == 0) {
    updateNotifications_ = false;
    SetMenuCheck(IDM_UPDATENOTIFICATIONS1, false);
  }
  if (checkResult_->newVersionFound) {
    TNewVer::Create(NewVersionNotice{values_.product, checkResult_->newVersionText,
                                     checkResult_->downloadAddress, Handle()});
  }
}

void TAppForm::StartChecker() {
  checkResult_ = std::make_shared<CheckResult>();
  checkerSystem_ = std::make_shared<Win32CheckerSystem>();
  const std::string override = EnvironmentVariable("QUILLET_SERVICE_ADDRESS");
  const CheckerInput input{values_.caption, values_.version, ServiceAddressFrom(override.c_str(), kServiceAddress)};
  // The run owns what it uses; nothing waits for it, also not the end of the process.
  std::thread([system = checkerSystem_, result = checkResult_, input] { RunCheck(*system, input, *result); })
      .detach();
}

void TAppForm::UpdateNotifications1Click() {
  // Enabled only after the run is done, so the update key is the run's and idle.
  if (!checkerSystem_) return;
  checkerSystem_->Key().Write("ShowUpdate", updateNotifications_ ? "0" : "1");
  updateNotifications_ = !updateNotifications_;
  SetMenuCheck(IDM_UPDATENOTIFICATIONS1, updateNotifications_);
}

}  // namespace quillet
