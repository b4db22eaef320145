#include "store/remembered_list.h"

#include <utility>

#include "store/file_messages.h"
#include "store/list_files.h"
#include "store/text_file.h"
#include "util/text.h"

namespace quillet {

RememberedList::RememberedList(FileSystem& fs, std::string settingsDir)
    : fs_(fs), path_(std::move(settingsDir) + "files.txt"), snapshotFile_(PlainListBytes({})) {}

std::optional<std::vector<std::string>> RememberedList::Load(const AnsiDecoder& ansi) {
  std::optional<std::string> bytes;
  try {
    bytes = fs_.ReadFile(path_);
  } catch (const IoError& error) {
    onHold_ = true;
    throw WithTask(error, FileTask::ReadRememberedList, path_);
  }
  if (!bytes) return std::nullopt;
  return TakeLines(*bytes, ansi);
}

std::optional<std::vector<std::string>> RememberedList::RetryHeld(const AnsiDecoder& ansi) {
  std::optional<std::string> bytes;
  try {
    bytes = fs_.ReadFileWithoutWaiting(path_);
  } catch (const IoError&) {
    return std::nullopt;  // still held; the user was told at start
  }
  onHold_ = false;
  if (!bytes) {
    snapshotFile_ = PlainListBytes({});
    matchedTextRevision_.reset();
    return std::vector<std::string>{};
  }
  return TakeLines(*bytes, ansi);
}

std::vector<std::string> RememberedList::TakeLines(const std::string& bytes, const AnsiDecoder& ansi) {
  const std::string text = DecodeTextFile(bytes, ansi);
  const std::vector<std::string_view> views = SplitLines(text);
  std::vector<std::string> lines(views.begin(), views.end());
  // The snapshot is what saving these lines would write (as PlainListBytes does), built
  // straight from the lines: a million entries need no second copy of every text.
  std::string snapshot;
  snapshot.reserve(kUtf8ByteOrderMark.size() + text.size() + 2 * views.size());
  snapshot.append(kUtf8ByteOrderMark);
  for (std::string_view line : views) AppendCrLfLine(snapshot, line);
  snapshotFile_ = std::move(snapshot);
  matchedTextRevision_.reset();
  return lines;
}

bool RememberedList::SnapshotMatches(const ItemList& list) const {
  // The texts joined, each followed by CR LF, compared with the snapshot's, without building
  // the list's side as one more copy of the whole list.
  std::string_view rest(snapshotFile_);
  rest.remove_prefix(kUtf8ByteOrderMark.size());
  for (const Entry& entry : list.Entries()) {
    const std::string& text = entry.text;
    if (rest.size() < text.size() + 2 || rest.compare(0, text.size(), text) != 0 ||
        rest.substr(text.size(), 2) != "\r\n") {
      return false;
    }
    rest.remove_prefix(text.size() + 2);
  }
  return rest.empty();
}

bool RememberedList::SaveIfChanged(const ItemList& list) {
  if (onHold_) return false;
  const std::uint64_t textRevision = list.TextRevision();
  if (matchedTextRevision_ == textRevision) return false;
  if (SnapshotMatches(list)) {
    matchedTextRevision_ = textRevision;
    return false;
  }

  std::string bytes = PlainListBytes(list.Entries());
  try {
    // Not waited for: the next tick tries again anyway, and the window must not stop meanwhile.
    fs_.ReplaceFileWithoutWaiting(path_, bytes);
  } catch (const IoError& error) {
    ++failedTicks_;
    if (failedTicks_ == kQuietFailedTicks) throw WithTask(error, FileTask::SaveRememberedList, path_);
    return false;
  }
  failedTicks_ = 0;
  snapshotFile_ = std::move(bytes);
  matchedTextRevision_ = textRevision;
  return true;
}

}  // namespace quillet
