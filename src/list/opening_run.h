// The opening run: what to launch for each entry, when to wait, and the loop over the list.
// Free of the window: the window passes in how to launch, how to wait and where the options
// are read from, so a whole run can be exercised without the shell.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "list/entry_class.h"
#include "list/item_list.h"
#include "list/run_progress.h"

namespace quillet {

inline constexpr int kShowHide = 0;        // SW_HIDE
inline constexpr int kShowNormal = 1;      // SW_SHOWNORMAL

enum class LaunchOwner { DesktopWindow, MainWindow };

struct LaunchRequest {
  LaunchOwner owner = LaunchOwner::MainWindow;
  std::string verb = "open";
  std::string file;
  std::optional<std::string> parameters;  // none, or the entry in double quotes (QuoteArgument
                                          // for the named program)
  int show = kShowNormal;
  bool operator==(const LaunchRequest&) const = default;
};

// Options as they stand in the controls at the moment they are read.
struct RunOptions {
  bool useDefaultProgram = true;  // RadioButton1 checked
  std::string program;            // text of Edit1
  long long waitMs = 0;           // value of SpinEdit1
};

// The text in double quotes, nothing escaped inside (Explorer's folder argument).
std::string Quote(const std::string& text);
LaunchRequest PlanLaunch(EntryClass entryClass, const std::string& text, const RunOptions& options);
// The wait after the launched entry at index: w when w > 0 and index + 1 < count, else 0.
long long WaitAfter(long long waitMs, std::size_t index, std::size_t count);
// The wait box's text as a number; anything that is not a number counts as 0.
long long ParseWait(const std::string& text);

class RunEnvironment {
 public:
  virtual ~RunEnvironment() = default;
  virtual RunOptions Options() = 0;                         // re-read for every entry
  virtual FolderProbe& Probe() = 0;
  virtual void Launch(const LaunchRequest& request) = 0;    // ShellExecuteW; result ignored
  virtual void Wait(long long milliseconds) = 0;            // SleepWithoutFreeze: may run any
                                                            // handler, list edits included;
                                                            // ends early once a stop is asked
  virtual void EntrySelected(std::size_t /*index*/) {}      // lets the window scroll to it
  // Asked before every entry: the window handles what the user did meanwhile (so a key that
  // stops the run is seen even when the run does not wait) and tells whether to stop.
  virtual bool StopRequested() { return false; }
  // How far the run has come, each time that changes.
  virtual void ProgressChanged(const RunProgress& /*progress*/) {}
};

enum class RunEnd { Finished, Stopped };

// Walks the list from the top and opens every checked, non-blank entry, selecting each entry
// it passes and waiting between opened entries; the list may change during a wait, so the
// count is read again before every entry. A stop asked for ends the run before its next
// entry. The empty-list warning, the busy caption and the countdown belong to the window.
RunEnd RunOpening(ItemList& list, RunEnvironment& environment);

}  // namespace quillet
