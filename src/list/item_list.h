// The item list: the one ordered check-list of entries that an opening run opens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

struct Entry {
  std::string text;  // stored exactly as given: not trimmed, empties and duplicates allowed
  bool checked = true;
  bool operator==(const Entry&) const = default;
};

// Model of ListBox1. Indexes run 0..Count()-1; Current() is the single selection or -1.
// Every mutating call bumps Revision(), which the window uses to know when to redraw.
// TextRevision() moves only when the entry texts or their order may have changed, so the
// remembered-list timer can skip comparing a million texts after a check mark or a click.
// EntriesRevision() moves on every change but a new selection, so a running count over the
// entries knows when it must look again.
class ItemList {
 public:
  std::size_t Count() const { return entries_.size(); }
  const Entry& At(std::size_t index) const { return entries_[index]; }
  const std::vector<Entry>& Entries() const { return entries_; }
  std::ptrdiff_t Current() const { return current_; }
  std::uint64_t Revision() const { return revision_; }
  std::uint64_t TextRevision() const { return textRevision_; }
  std::uint64_t EntriesRevision() const { return entriesRevision_; }

  // Ekle: appends one entry at the end with the given check mark.
  void Ekle(std::string text, bool checked);
  void SetChecked(std::size_t index, bool checked);
  void ToggleChecked(std::size_t index);
  void CheckAll();
  void CheckNone();
  // Selects index (or nothing with -1; out-of-range indexes select nothing).
  void Select(std::ptrdiff_t index);

  // Many entries at the end in one step (list files, the remembered list): one revision.
  void Append(std::vector<Entry> entries);
  // Replaces every entry; nothing is selected afterwards.
  void ReplaceAll(std::vector<Entry> entries);

  // Copy1Click: every text followed by CR LF, in order, check marks not copied.
  std::string CopyText() const;
  // Paste1Click: one checked entry per line of text (SplitLines rules).
  void Paste(std::string_view text);

  void DeleteSelected();  // DeleteSelected1Click: removes the selection, nothing selected after
  void RemoveSelected();  // RemoveS1Click / Delete key: removes it and selects the neighbour
  void RemoveAll();       // RemoveAll1Click / RemoveA1Click

  void MoveUp();      // SpeedButton6Click
  void MoveDown();    // SpeedButton5Click
  void MoveTop();     // SpeedButton3Click
  void MoveBottom();  // SpeedButton4Click

  // ListBox1DragDrop with the drop index d (entry under the pointer, Count() below the last
  // entry, -1 outside: nothing happens). Moves the selected entry in front of the entry that
  // was at d, keeping its check mark, and selects it.
  void DropSelectedAt(std::ptrdiff_t dropIndex);

 private:
  // Every change but a new selection calls this once; textsChanged when the texts or their
  // order may differ now.
  void Touch(bool textsChanged) {
    ++revision_;
    ++entriesRevision_;
    if (textsChanged) ++textRevision_;
  }
  std::vector<Entry> entries_;
  std::ptrdiff_t current_ = -1;
  std::uint64_t revision_ = 0;
  std::uint64_t textRevision_ = 0;
  std::uint64_t entriesRevision_ = 0;
};

}  // namespace quillet
