#include "list/item_list.h"

#include <algorithm>

#include "util/text.h"

namespace quillet {

void ItemList::Ekle(std::string text, bool checked) {
  entries_.push_back(Entry{std::move(text), checked});
  Touch();
}

void ItemList::SetChecked(std::size_t index, bool checked) {
  if (index >= entries_.size()) return;
  entries_[index].checked = checked;
  Touch();
}

void ItemList::ToggleChecked(std::size_t index) {
  if (index >= entries_.size()) return;
  entries_[index].checked = !entries_[index].checked;
  Touch();
}

void ItemList::CheckAll() {
  for (Entry& entry : entries_) entry.checked = true;
  Touch();
}

void ItemList::CheckNone() {
  for (Entry& entry : entries_) entry.checked = false;
  Touch();
}

void ItemList::Select(std::ptrdiff_t index) {
  current_ = (index >= 0 && static_cast<std::size_t>(index) < entries_.size()) ? index : -1;
  Touch();
}

std::string ItemList::CopyText() const {
  std::size_t size = 0;
  for (const Entry& entry : entries_) size += entry.text.size() + 2;
  std::string text;
  text.reserve(size);
  for (const Entry& entry : entries_) {
    text += entry.text;
    text += "\r\n";
  }
  return text;
}

void ItemList::Paste(std::string_view text) {
  for (std::string_view line : SplitLines(text)) entries_.push_back(Entry{std::string(line), true});
  Touch();
}

void ItemList::DeleteSelected() {
  if (current_ >= 0) entries_.erase(entries_.begin() + current_);
  current_ = -1;
  Touch();
}

void ItemList::RemoveSelected() {
  const std::ptrdiff_t i = current_;
  if (i >= 0) entries_.erase(entries_.begin() + i);
  const auto count = static_cast<std::ptrdiff_t>(entries_.size());
  // The entry that followed the removed one takes its place; after the last, the new last.
  current_ = i < count ? i : count - 1;
  Touch();
}

void ItemList::RemoveAll() {
  entries_.clear();
  current_ = -1;
  Touch();
}

void ItemList::MoveUp() {
  const std::ptrdiff_t i = current_;
  if (i < 0) return;
  const std::ptrdiff_t t = std::max<std::ptrdiff_t>(i - 1, 0);
  std::swap(entries_[i], entries_[t]);
  current_ = t;
  Touch();
}

void ItemList::MoveDown() {
  const std::ptrdiff_t i = current_;
  if (i < 0) return;
  const std::ptrdiff_t t = std::min<std::ptrdiff_t>(i + 1, static_cast<std::ptrdiff_t>(entries_.size()) - 1);
  std::swap(entries_[i], entries_[t]);
  current_ = t;
  Touch();
}

void ItemList::MoveTop() {
  const std::ptrdiff_t i = current_;
  if (i < 0) return;
  std::rotate(entries_.begin(), entries_.begin() + i, entries_.begin() + i + 1);
  current_ = 0;
  Touch();
}

void ItemList::MoveBottom() {
  const std::ptrdiff_t i = current_;
  if (i < 0) return;
  std::rotate(entries_.begin() + i, entries_.begin() + i + 1, entries_.end());
  current_ = static_cast<std::ptrdiff_t>(entries_.size()) - 1;
  Touch();
}

void ItemList::DropSelectedAt(std::ptrdiff_t dropIndex) {
  if (dropIndex < 0 || current_ < 0) return;
  const auto count = static_cast<std::ptrdiff_t>(entries_.size());
  std::ptrdiff_t d = std::min(dropIndex, count);
  const std::ptrdiff_t k = current_;
  // Taking the entry out shifts everything below it up by one, the drop point included.
  if (k < d) --d;
  // Take out at k and put back at d, as one rotation so a long list costs one pass.
  if (k < d) {
    std::rotate(entries_.begin() + k, entries_.begin() + k + 1, entries_.begin() + d + 1);
  } else if (d < k) {
    std::rotate(entries_.begin() + d, entries_.begin() + k, entries_.begin() + k + 1);
  }
  current_ = d;
  Touch();
}

}  // namespace quillet
