#include "list/item_list.h"

#include <algorithm>
#include <iterator>

#include "util/text.h"

namespace quillet {

void ItemList::Ekle(std::string text, bool checked) {
  entries_.push_back(Entry{std::move(text), checked});
  Touch(true);
}

void ItemList::Append(std::vector<Entry> entries) {
  const bool adding = !entries.empty();
  if (entries_.empty()) {
    entries_ = std::move(entries);
  } else {
    entries_.insert(entries_.end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
  }
  Touch(adding);
}

void ItemList::ReplaceAll(std::vector<Entry> entries) {
  entries_ = std::move(entries);
  current_ = -1;
  Touch(true);
}

void ItemList::SetChecked(std::size_t index, bool checked) {
  if (index >= entries_.size()) return;
  entries_[index].checked = checked;
  Touch(false);
}

void ItemList::ToggleChecked(std::size_t index) {
  if (index >= entries_.size()) return;
  entries_[index].checked = !entries_[index].checked;
  Touch(false);
}

void ItemList::CheckAll() {
  for (Entry& entry : entries_) entry.checked = true;
  Touch(false);
}

void ItemList::CheckNone() {
  for (Entry& entry : entries_) entry.checked = false;
  Touch(false);
}

void ItemList::Select(std::ptrdiff_t index) {
  current_ = (index >= 0 && static_cast<std::size_t>(index) < entries_.size()) ? index : -1;
  ++revision_;
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
  const std::vector<std::string_view> lines = SplitLines(text);
  for (std::string_view line : lines) entries_.push_back(Entry{std::string(line), true});
  Touch(!lines.empty());
}

void ItemList::DeleteSelected() {
  const bool removing = current_ >= 0;
  if (removing) entries_.erase(entries_.begin() + current_);
  current_ = -1;
  Touch(removing);
}

void ItemList::RemoveSelected() {
  const std::ptrdiff_t i = current_;
  if (i >= 0) entries_.erase(entries_.begin() + i);
  const auto count = static_cast<std::ptrdiff_t>(entries_.size());
  // The entry that followed the removed one takes its place; after the last, the new last.
  current_ = i < count ? i : count - 1;
  Touch(i >= 0);
}

void ItemList::RemoveAll() {
  const bool hadEntries = !entries_.empty();
  entries_.clear();
  current_ = -1;
  Touch(hadEntries);
}

void ItemList::MoveUp() {
  const std::ptrdiff_t i = current_;
  if (i < 0) return;
  const std::ptrdiff_t t = std::max<std::ptrdiff_t>(i - 1, 0);
  std::swap(entries_[i], entries_[t]);
  current_ = t;
  Touch(t != i);
}

void ItemList::MoveDown() {
  const std::ptrdiff_t i = current_;
  if (i < 0) return;
  const std::ptrdiff_t t = std::min<std::ptrdiff_t>(i + 1, static_cast<std::ptrdiff_t>(entries_.size()) - 1);
  std::swap(entries_[i], entries_[t]);
  current_ = t;
  Touch(t != i);
}

void ItemList::MoveTop() {
  const std::ptrdiff_t i = current_;
  if (i < 0) return;
  std::rotate(entries_.begin(), entries_.begin() + i, entries_.begin() + i + 1);
  current_ = 0;
  Touch(i != 0);
}

void ItemList::MoveBottom() {
  const std::ptrdiff_t i = current_;
  if (i < 0) return;
  std::rotate(entries_.begin() + i, entries_.begin() + i + 1, entries_.end());
  current_ = static_cast<std::ptrdiff_t>(entries_.size()) - 1;
  Touch(i != current_);
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
  Touch(d != k);
}

}  // namespace quillet
