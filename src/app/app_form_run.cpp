// The opening run, the auto-close countdown, the run options and the stay-on-top option.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>

#include "app/app_form.h"
#include "ui/control_ids.h"
#include "list/opening_run.h"
#include "platform/win32/dialogs.h"
#include "util/text.h"

namespace quillet {

namespace {

// What the run needs from the window: the options as the controls show them now, the shell,
// and a wait that keeps the window working.
class FormRunEnvironment final : public RunEnvironment {
 public:
  FormRunEnvironment(std::function<RunOptions()> options, std::function<void(std::size_t)> selected,
                     std::function<void(const RunProgress&)> progress, const bool& stopRequested,
                     HWND window)
      : options_(std::move(options)),
        selected_(std::move(selected)),
        progress_(std::move(progress)),
        stopRequested_(stopRequested),
        window_(window) {}
  RunOptions Options() override { return options_(); }
  FolderProbe& Probe() override { return probe_; }
  void Launch(const LaunchRequest& request) override {
    const HWND owner = request.owner == LaunchOwner::DesktopWindow ? GetDesktopWindow() : window_;
    const std::wstring parameters = request.parameters ? Widen(*request.parameters) : std::wstring();
    // The result is not looked at: a failed launch shows the shell's own message, if any.
    ShellExecuteW(owner, Widen(request.verb).c_str(), Widen(request.file).c_str(),
                  request.parameters ? parameters.c_str() : nullptr, nullptr, request.show);
  }
  void Wait(long long milliseconds) override {
    SleepWithoutFreeze(milliseconds, [this] { return stopRequested_; });
  }
  void EntrySelected(std::size_t index) override { selected_(index); }
  // Between entries the window handles what arrived meanwhile, even in a run without waits:
  // the progress gets painted and Esc gets seen before the next entry.
  bool StopRequested() override {
    ProcessMessages();
    return stopRequested_;
  }
  void ProgressChanged(const RunProgress& progress) override { progress_(progress); }

 private:
  std::function<RunOptions()> options_;
  std::function<void(std::size_t)> selected_;
  std::function<void(const RunProgress&)> progress_;
  const bool& stopRequested_;
  HWND window_;
  Win32FolderProbe probe_;
};

}  // namespace

void TAppForm::BitBtn1Click() {
  if (running_) return;
  if (list_.Count() == 0) {
    MessageBoxW(Handle(), L"列表是空的!", L"警告", MB_OK | MB_ICONWARNING);
    return;
  }
  HWND button = Control(IDC_BITBTN1);
  SetWindowTextW(button, L"正在打开...");
  EnableWindow(button, FALSE);

  FormRunEnvironment environment(
      [this] {
        RunOptions options;
        options.useDefaultProgram = useDefaultProgram_;
        options.program = ControlTextUtf8(IDC_EDIT1);
        options.waitMs = ParseWait(ControlTextUtf8(IDC_SPINEDIT1));
        return options;
      },
      [this](std::size_t) { SyncListView(true); },
      [this](const RunProgress& progress) { ShowRunProgress(progress); },
      stopRequested_, Handle());

  struct IdleFace {
    TAppForm* form;
    HWND button;
    ~IdleFace() {
      form->running_ = false;
      form->EndRunProgress();
      EnableWindow(button, TRUE);
      SetWindowTextW(button, L"QUILLET");
      if (!GetFocus()) SetFocus(button);
    }
  };
  RunEnd end = RunEnd::Finished;
  {
    running_ = true;
    stopRequested_ = false;
    IdleFace idle{this, button};
    end = RunOpening(list_, environment);
  }

  if (endRequested_) {  // the window was closed while the run waited
    EndApplication();
    return;
  }
  // A stopped run closes nothing: the user is there and chose to stop.
  if (end == RunEnd::Finished && OptionOn(MenuOption::AutoClose)) StartCountdown();
}

void TAppForm::ShowRunProgress(const RunProgress& progress) {
  const std::uint64_t now = GetTickCount64();
  if (!progressPacer_.Offer(progress, now)) {
    SetTimer(Handle(), kTimerProgressId, static_cast<UINT>(progressPacer_.Due() - now), nullptr);
    return;
  }
  DisplayRunProgress(progress);
}

void TAppForm::ShowHeldRunProgress() {
  KillTimer(Handle(), kTimerProgressId);
  if (!running_ || !progressPacer_.Holding()) return;
  DisplayRunProgress(progressPacer_.TakeHeld(GetTickCount64()));
}

void TAppForm::DisplayRunProgress(const RunProgress& progress) {
  SetRunStatus(Widen(RunProgressText(progress)));
  if (taskbar_) taskbar_->Show(progress.opened, progress.total, progress.waiting);
}

void TAppForm::EndRunProgress() {
  KillTimer(Handle(), kTimerProgressId);
  progressPacer_ = ProgressPacer(kRunProgressIntervalMs);
  SetRunStatus(L"");
  if (taskbar_) taskbar_->Clear();
}

void TAppForm::StartCountdown() {
  closeCountdown_ = 10;
  SetWindowTextW(Control(IDC_BUTTON6), L"取消自动关闭 (10)");
  ProcessMessages();
  if (!Handle()) return;
  panelCloseVisible_ = true;
  Layout();
  // A countdown already running keeps its timer: only the count starts again.
  if (!timerCloseEnabled_) {
    SetTimer(Handle(), kTimerCloseId, 1000, nullptr);
    timerCloseEnabled_ = true;
  }
}

void TAppForm::TimerCloseTimer() {
  if (!timerCloseEnabled_) return;
  --closeCountdown_;
  SetWindowTextW(Control(IDC_BUTTON6),
                 (L"取消自动关闭 (" + std::to_wstring(closeCountdown_) + L")").c_str());
  ProcessMessages();
  if (closeCountdown_ == 0 && Handle()) {
    KillTimer(Handle(), kTimerCloseId);
    timerCloseEnabled_ = false;
    EndApplication();
  }
}

void TAppForm::Button6Click() {
  KillTimer(Handle(), kTimerCloseId);
  timerCloseEnabled_ = false;
  panelCloseVisible_ = false;
  Layout();
}

// The two radio buttons are managed here rather than by the system, so that becoming checked
// (by the user or by code) is the one event that stores the choice.
void TAppForm::SetRadioChoice(bool useDefaultProgram) {
  if (useDefaultProgram_ == useDefaultProgram) return;
  useDefaultProgram_ = useDefaultProgram;
  SendMessageW(Control(IDC_RADIOBUTTON1), BM_SETCHECK, useDefaultProgram ? BST_CHECKED : BST_UNCHECKED, 0);
  SendMessageW(Control(IDC_RADIOBUTTON2), BM_SETCHECK, useDefaultProgram ? BST_UNCHECKED : BST_CHECKED, 0);
  if (useDefaultProgram) {
    RadioButton1Click();
  } else {
    RadioButton2Click();
  }
}

void TAppForm::RadioButton1Click() {
  if (!store_) return;
  store_->SetString("OpenWithDefaults", "ON");
  SettingsChanged();
}

void TAppForm::RadioButton2Click() {
  if (!store_) return;
  store_->SetString("OpenWithDefaults", "OFF");
  SettingsChanged();
}

void TAppForm::Edit1Change() {
  if (!store_) return;
  store_->SetString("OpenWith", ControlTextUtf8(IDC_EDIT1));
  SettingsChanged();
}

void TAppForm::BitBtn2Click() {
  FileDialogOptions options;
  options.filter = L"Executable (*.exe)|*.exe|Any File (*.*)|*.*";
  options.defaultExtension = L"exe";
  std::vector<std::wstring> chosen = ShowOpenFileDialog(Handle(), options);
  if (chosen.empty()) return;
  SetControlText(IDC_EDIT1, Narrow(chosen.front()));
  SetRadioChoice(false);
  if (store_) store_->WriteString("OpenWith", ControlTextUtf8(IDC_EDIT1));
}

void TAppForm::SpinEdit1Change() {
  if (!store_) return;
  store_->SetInteger("Wait", ParseWait(ControlTextUtf8(IDC_SPINEDIT1)));
  SettingsChanged();
}

void TAppForm::SpinEdit1Step(int delta) {
  // The arrows step from what the box shows; a text that is no number counts as 0. The box
  // holds a 32-bit value, so a step past either end stays at that end.
  long long value = ParseWait(ControlTextUtf8(IDC_SPINEDIT1)) + (delta > 0 ? 1 : delta < 0 ? -1 : 0);
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  SetControlText(IDC_SPINEDIT1, std::to_string(value));
}

namespace {

struct MenuOptionPlace {
  TAppForm::MenuOption option;
  const char* key;  // in settings.ini, 1 or 0
  UINT menuItem;
};
constexpr MenuOptionPlace kMenuOptions[] = {
    {TAppForm::MenuOption::Remember, "Remember", IDM_REMEMBER1},
    {TAppForm::MenuOption::AutoOpenList, "AutoOpenList", IDM_AUTOOPENLIST1},
    {TAppForm::MenuOption::AutoClose, "AutoClose", IDM_AUTOCLOSE1},
    {TAppForm::MenuOption::StayOnTop, "StayOnTop", IDM_STAYONTOP1},
};

// The table lists every option once, in the order of the options, so an option is its index.
constexpr bool InOptionOrder() {
  for (std::size_t i = 0; i < std::size(kMenuOptions); ++i) {
    if (static_cast<std::size_t>(kMenuOptions[i].option) != i) return false;
  }
  return std::size(kMenuOptions) == static_cast<std::size_t>(TAppForm::MenuOption::StayOnTop) + 1;
}
static_assert(InOptionOrder());

const MenuOptionPlace& PlaceOf(TAppForm::MenuOption option) {
  return kMenuOptions[static_cast<std::size_t>(option)];
}

}  // namespace

void TAppForm::ShowOption(MenuOption option, bool on) {
  options_[static_cast<std::size_t>(option)] = on;
  SetMenuCheck(PlaceOf(option).menuItem, on);
}

void TAppForm::SetOption(MenuOption option, bool on) {
  // The menu items never check themselves: the key is written first, a failure leaves all as it was.
  store_->WriteInteger(PlaceOf(option).key, on ? 1 : 0);
  ShowOption(option, on);
}

void TAppForm::SetStayOnTop(bool on) {
  SetOption(MenuOption::StayOnTop, on);
  SetWindowPos(Handle(), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ProcessMessages();
}

void TAppForm::StayonTop1Click() { SetStayOnTop(!StayOnTopChecked()); }

void TAppForm::WithStayOnTopBracket(const std::function<void()>& showModal) {
  if (!StayOnTopChecked()) {
    showModal();
    return;
  }
  StayOnTopYapMa();
  try {
    showModal();
  } catch (...) {
    StayOnTopYap();
    throw;
  }
  StayOnTopYap();
}

}  // namespace quillet
