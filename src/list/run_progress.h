// How far an opening run has come, for the status bar and the taskbar button: the entries it
// has opened and the entries it opens in all. Kept up to date as the run goes, including when
// the user changes the list in the middle of a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "list/item_list.h"

namespace quillet {

struct RunProgress {
  std::size_t opened = 0;  // entries launched so far
  std::size_t total = 0;   // those plus the checked, non-blank entries still ahead of the run
  bool waiting = false;    // the run waits before its next entry
  bool operator==(const RunProgress&) const = default;
};

// True for an entry a run opens: checked, and not blank.
bool OpensInRun(const Entry& entry);

// Counts a run's progress over the list without walking it again for every entry: the entries
// still ahead are counted once, then taken off one by one as the run passes them, and counted
// again only when the entries changed (not for a new selection).
class RunProgressCount {
 public:
  explicit RunProgressCount(const ItemList& list);
  // The progress with the run about to look at the entry at index next.
  RunProgress At(std::size_t next);
  void Opened() { ++opened_; }

 private:
  void CountAhead(std::size_t from);

  const ItemList& list_;
  std::size_t opened_ = 0;
  std::size_t next_ = 0;   // the first entry ahead_ counts
  std::size_t ahead_ = 0;  // entries at next_ and after that the run opens
  std::uint64_t counted_ = 0;  // the list's EntriesRevision() when ahead_ was counted
};

// Paces the display of a run's progress. Painting the status bar costs a good share of what a
// launch costs, so a run without waits would spend much of its time showing counts nobody can
// read: the display follows at most once per interval, and a count that comes in between is
// held and shown when the interval is over (the window sets a timer for Due()).
// How often the window shows a run's progress at most: each showing paints the status bar,
// which under Wine took some 20 ms.
inline constexpr std::uint64_t kRunProgressIntervalMs = 1000;

class ProgressPacer {
 public:
  explicit ProgressPacer(std::uint64_t intervalMs) : intervalMs_(intervalMs) {}
  // A new count at time now (ms): true when it is to be shown now, else it is held.
  bool Offer(const RunProgress& progress, std::uint64_t now);
  // Whether a count is held, and when it is to be shown.
  bool Holding() const { return holding_; }
  std::uint64_t Due() const { return shownAt_ + intervalMs_; }
  // The held count, shown at time now; the pacer holds nothing afterwards.
  RunProgress TakeHeld(std::uint64_t now);

 private:
  std::uint64_t intervalMs_;
  bool shownOnce_ = false;
  std::uint64_t shownAt_ = 0;
  bool holding_ = false;
  RunProgress held_;
};

// The status bar's text during a run: "正在打开 3 / 10", a note while it waits, and how to stop.
std::string RunProgressText(const RunProgress& progress);

}  // namespace quillet
