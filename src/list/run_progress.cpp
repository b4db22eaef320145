#include "list/run_progress.h"

#include "util/text.h"

namespace quillet {

bool OpensInRun(const Entry& entry) { return entry.checked && !TrimBlanks(entry.text).empty(); }

RunProgressCount::RunProgressCount(const ItemList& list) : list_(list) { CountAhead(0); }

void RunProgressCount::CountAhead(std::size_t from) {
  next_ = from;
  ahead_ = 0;
  for (std::size_t i = from; i < list_.Count(); ++i) {
    if (OpensInRun(list_.At(i))) ++ahead_;
  }
  counted_ = list_.EntriesRevision();
}

RunProgress RunProgressCount::At(std::size_t next) {
  if (list_.EntriesRevision() != counted_ || next < next_) {
    CountAhead(next);
  } else {
    for (; next_ < next && next_ < list_.Count(); ++next_) {
      if (OpensInRun(list_.At(next_))) --ahead_;
    }
    next_ = next;
  }
  return RunProgress{opened_, opened_ + ahead_, false};
}

bool ProgressPacer::Offer(const RunProgress& progress, std::uint64_t now) {
  if (shownOnce_ && now - shownAt_ < intervalMs_) {
    held_ = progress;
    holding_ = true;
    return false;
  }
  shownOnce_ = true;
  shownAt_ = now;
  holding_ = false;
  return true;
}

RunProgress ProgressPacer::TakeHeld(std::uint64_t now) {
  shownOnce_ = true;
  shownAt_ = now;
  holding_ = false;
  return held_;
}

std::string RunProgressText(const RunProgress& progress) {
  std::string text = "正在打开 " + std::to_string(progress.opened) + " / " + std::to_string(progress.total);
  if (progress.waiting) text += " (等待中)";
  return text + "  按 Esc 停止";
}

}  // namespace quillet
