#include "e2e/in_process_probe.h"

#include "e2e/driver.h"
#include "tools/program_probe.h"

#ifndef PROGRAM_PROBE_DLL_PATH
#error "the build names program_probe.dll in PROGRAM_PROBE_DLL_PATH"
#endif

namespace quillet::e2e {
namespace {

// The library stays loaded in the test for the whole run: the system names it to the program
// by this module's file name, and hook procedures are given as addresses within it.
HMODULE ProbeLibrary() {
  static const HMODULE library = LoadLibraryW(ToWindowsPath(PROGRAM_PROBE_DLL_PATH).c_str());
  return library;
}

}  // namespace

InProcessProbe::InProcessProbe(HWND window) : window_(window) {
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  HMODULE library = ProbeLibrary();
  if (!thread || !library) {
    error_ = !thread ? "the window is gone" : "program_probe.dll could not be loaded";
    return;
  }
  const auto hookProc = [&](const char* name) {
    return reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  };
  const HOOKPROC getMessage = hookProc("ProbeGetMessage");
  const HOOKPROC callWndProc = hookProc("ProbeCallWndProc");
  if (getMessage) getMessage_ = SetWindowsHookExW(WH_GETMESSAGE, getMessage, library, thread);
  if (callWndProc) callWndProc_ = SetWindowsHookExW(WH_CALLWNDPROC, callWndProc, library, thread);
  if (!getMessage_ || !callWndProc_) {
    error_ = "the program's window thread could not be hooked (error " + std::to_string(GetLastError()) + ")";
  }
}

InProcessProbe::~InProcessProbe() {
  if (getMessage_) UnhookWindowsHookEx(getMessage_);
  if (callWndProc_) UnhookWindowsHookEx(callWndProc_);
}

std::optional<UINT> InProcessProbe::Ask(WPARAM question, LPARAM about) const {
  static const UINT message = RegisterWindowMessageW(PROBE_MESSAGE_NAME);
  if (!error_.empty()) return std::nullopt;
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window_, message, question, about, SMTO_NORMAL, kWaitMs, &answer)) {
    unanswered_ = "the program's window did not answer the probe's question";
    return std::nullopt;
  }
  // Bit 32 marks an answer of the probe; a window procedure on its own answers 0.
  if ((static_cast<unsigned long long>(answer) >> 32) != 1) {
    unanswered_ = "the probe did not come into the program (its window answered on its own)";
    return std::nullopt;
  }
  unanswered_.clear();
  return static_cast<UINT>(answer & 0xFFFFFFFFu);
}

std::optional<UINT> InProcessProbe::MenuState(int command_id) const { return Ask(PROBE_MENU_STATE, command_id); }

std::optional<int> InProcessProbe::TimerTicks(UINT_PTR timer) const {
  std::optional<UINT> ticks = Ask(PROBE_TIMER_TICKS, static_cast<LPARAM>(timer));
  if (!ticks) return std::nullopt;
  return static_cast<int>(*ticks);
}

// The main window's save timer (TAppForm::kTimerSaveChangesId), which ticks every second.
constexpr UINT_PTR kSaveTimer = 4;

const InProcessProbe& Program::Probe() const {
  // A new start or instance drops the old probe (whose thread is gone) before this.
  if (!probe_) probe_ = std::make_unique<InProcessProbe>(main_);
  return *probe_;
}

std::string Program::ProbeError() const { return Probe().Error(); }

std::optional<UINT> Program::MenuState(int command_id) const { return Probe().MenuState(command_id); }

std::optional<bool> Program::MenuChecked(int command_id) const {
  const std::optional<UINT> state = MenuState(command_id);
  if (!state) return std::nullopt;
  // An item the menu does not have is no answer either.
  if (*state == static_cast<UINT>(-1)) return std::nullopt;
  return (*state & MF_CHECKED) != 0;
}

std::optional<int> Program::SaveTicks() const { return Probe().TimerTicks(kSaveTimer); }

bool Program::WaitForSaveTicks(int count) const {
  const std::optional<int> before = SaveTicks();
  if (!before) return false;
  // The ticks come a second apart; the usual limit is for what a slow machine adds to that.
  const bool ticked = WaitUntil(
      [&] {
        const std::optional<int> now = SaveTicks();
        return now && *now >= *before + count;
      },
      kWaitMs + 1000 * count);
  // The last tick was taken out of the queue; once this returns, it has been handled too.
  Sync();
  return ticked;
}

}  // namespace quillet::e2e
