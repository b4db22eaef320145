// Saving the item list to list files and reading entries back: the program's own list
// format (.qlst, entries with check marks and four options), plain text lists and batch
// files the program exported.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "list/item_list.h"
#include "platform/ansi_decoder.h"
#include "platform/file_system.h"

namespace quillet {

enum class ListFileKind { ListFormat, PlainText, Batch };  // .qlst, anything else, .bat

// The kind a file name stands for: the extension of its last path component (after the last
// "\" or "/"), from its last ".", compared in lower case.
ListFileKind ListFileKindOf(std::string_view fileName);

// The options of the main window a list-format file carries.
struct ListOptions {
  long long wait = 0;
  bool stayOnTop = false, autoOpenList = false, autoClose = false;
};

// The list format: BOM, a settings section with the options, then one line per entry
// ("*" in front of an unchecked one); every line ends with CR LF.
std::string ListFormatBytes(const std::vector<Entry>& entries, const ListOptions& options);
// The entry texts only, one per line: BOM, CR LF after every line. Also files.txt.
std::string PlainListBytes(const std::vector<Entry>& entries);

// One option line of a list-format file that the window applies.
struct ListFileSetting {
  enum class Key { StayOnTop, AutoOpenList, AutoClose, Wait };
  Key key;
  bool on = false;     // StayOnTop, AutoOpenList, AutoClose
  long long wait = 0;  // Wait
};

struct ListFileContent {
  std::vector<Entry> entries;
  std::vector<ListFileSetting> settings;  // in file order: a later line overrides an earlier one
};

// The readers take the decoded text (DecodeTextFile). They never fail: lines that don't fit
// are skipped.
ListFileContent ReadListFormat(std::string_view text);
ListFileContent ReadPlainList(std::string_view text);
ListFileContent ReadBatchList(std::string_view text);
ListFileContent ReadListFile(ListFileKind kind, std::string_view decodedText);

// Reads the whole file, decodes it and picks the reader by the name. nullopt when the file
// does not exist; IoError propagates.
std::optional<ListFileContent> LoadListFile(FileSystem& fs, const AnsiDecoder& ansi, const std::string& path);
// Writes ListFormatBytes when the name is a list-format name, else PlainListBytes, replacing
// the file in one step.
void SaveListFile(FileSystem& fs, const std::string& path, const std::vector<Entry>& entries,
                  const ListOptions& options);

}  // namespace quillet
