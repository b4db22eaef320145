// One run of the update check on a thread of its own, and the window's look at it: the window
// starts the run once and then polls it from its timer, which never waits.
#pragma once

#include <atomic>
#include <memory>

#include "service/checker.h"

namespace quillet {

// The hand-over between the run's thread and the window's:
// - The thread shares ownership of the system object and of the result with this object, so
//   either side may end first; nothing waits for the thread, not even the end of the process.
// - The thread writes every field of the result, then sets `done` (release). Poll reads `done`
//   (acquire) and hands out the result only once it is set; from then on the thread no longer
//   touches it, and the window may read it as often as it likes.
// - The system object (the update key among it) is the window's again once Poll has returned a
//   result; before that only the thread uses it.
// - As its very last step the thread sets `ended` (release), whatever the outcome, so the
//   window can stop polling a run that will never report a result.
class UpdateCheckRun {
 public:
  // Starts RunCheck(*system, input, result) on a new, detached thread.
  void Start(std::shared_ptr<CheckerSystem> system, CheckerInput input);
  bool Started() const { return shared_ != nullptr; }
  // The result once the run is done; nullptr before (or if it never started, or ended without
  // finishing: a run that could not write the update key reports no end).
  const CheckResult* Poll() const;
  // Whether the run's thread has ended, with or without a result. A run that ended without
  // one (the update key could not be written) will never give one: the window stops polling.
  bool Ended() const;
  // The system the run used, for what the window writes after the run (the ShowUpdate value).
  // Only to be used once Poll has returned a result.
  CheckerSystem* System() const { return Poll() ? system_.get() : nullptr; }

 private:
  struct Shared {
    CheckResult result;
    std::atomic<bool> ended{false};
  };
  std::shared_ptr<CheckerSystem> system_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace quillet
