// The remembered list: files.txt in the settings folder, kept equal to the entry texts of the
// item list by the save timer, and read back at start when the user asked for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "list/item_list.h"
#include "platform/ansi_decoder.h"
#include "platform/file_system.h"

namespace quillet {

class RememberedList {
 public:
  static constexpr int kQuietFailedTicks = 5;

  // settingsDir ends with "\".
  RememberedList(FileSystem& fs, std::string settingsDir);

  const std::string& Path() const { return path_; }

  // The lines of files.txt (every line, empty ones too), which also become the snapshot that
  // later saves compare with. nullopt when the file is missing; the snapshot stays as it was.
  // A file that exists but can't be read (another program holds it, say) throws the IoError
  // naming the task, and puts the remembered list on hold: files.txt is not written while
  // the list did not come from it, so the remembered entries are never replaced unseen.
  std::optional<std::vector<std::string>> Load(const AnsiDecoder& ansi);

  // Whether files.txt could not be read and is still waiting to be.
  bool OnHold() const { return onHold_; }
  // On hold: one more try at reading files.txt, without waiting for a program that holds it.
  // The lines (they become the snapshot, and the hold ends) when it worked; no lines when the
  // file is gone by now (the hold ends too: nothing is left to keep); nullopt while it still
  // can't be read.
  std::optional<std::vector<std::string>> RetryHeld(const AnsiDecoder& ansi);
  // Ends the hold without reading: the list has been replaced by one the user asked for (the
  // command line's), which takes the place of the remembered entries as it would have of
  // entries read from the file.
  void EndHold() { onHold_ = false; }

  // One tick of the save timer: when the list's entry texts, each followed by CR LF, differ
  // from the snapshot's, writes files.txt (UTF-8 with byte-order mark, every text followed by
  // CR LF) and takes the texts as the new snapshot; true when it wrote. Check marks and the selection never cause a write.
  // A failed write keeps the snapshot and is tried again at every tick, without waiting for a
  // program that holds the file. Another program holding files.txt for a few seconds (a
  // scanner, a backup) is no failure the user needs to hear of: the failures of the first
  // ticks in a row return false without a word; the kQuietFailedTicks-th throws its IoError
  // (naming the task), for the error report, once; the ones after it are quiet again.
  // Always pass the same list: its TextRevision is what tells one tick that nothing changed.
  // On hold it writes nothing and returns false.
  bool SaveIfChanged(const ItemList& list);

 private:
  bool SnapshotMatches(const ItemList& list) const;
  // The lines of the file's bytes, which also become the snapshot.
  std::vector<std::string> TakeLines(const std::string& bytes, const AnsiDecoder& ansi);

  FileSystem& fs_;
  std::string path_;
  // The texts last written to or read from files.txt, as files.txt holds them: the byte-order
  // mark, then every text followed by CR LF. One block of memory, read front to back by the
  // comparison, instead of a million separate strings.
  std::string snapshotFile_;
  // The list's TextRevision when it last matched the snapshot; unchanged since means no change.
  std::optional<std::uint64_t> matchedTextRevision_;
  int failedTicks_ = 0;  // failed writes in a row
  bool onHold_ = false;
};

}  // namespace quillet
