#include "store/list_files.h"

#include <string>

#include "store/file_messages.h"
#include "store/text_file.h"
#include "util/text.h"

namespace quillet {
namespace {

constexpr std::string_view kSettingsSection = "[SETTINGS]";
constexpr std::string_view kFilesSection = "[FILES]";
constexpr std::string_view kWaitPrefix = "Wait=";

// The whole line decides; the first match wins.
struct SwitchLine {
  std::string_view line;
  ListFileSetting::Key key;
  bool on;
};
constexpr SwitchLine kSwitchLines[] = {
    {"StayOnTop=Yes", ListFileSetting::Key::StayOnTop, true},
    {"StayOnTop=No", ListFileSetting::Key::StayOnTop, false},
    {"AutoOpenList=Yes", ListFileSetting::Key::AutoOpenList, true},
    {"AutoOpenList=No", ListFileSetting::Key::AutoOpenList, false},
    {"AutoCloseApplication=Yes", ListFileSetting::Key::AutoClose, true},
    {"AutoCloseApplication=No", ListFileSetting::Key::AutoClose, false},
};

const char* YesNo(bool on) { return on ? "Yes" : "No"; }

// Room for every entry text plus its line end and a possible "*".
std::size_t EntryBytes(const std::vector<Entry>& entries) {
  std::size_t total = 0;
  for (const Entry& entry : entries) total += entry.text.size() + 3;
  return total;
}

// A line with a leading "*" is an unchecked entry without that "*".
Entry EntryFromMarkedLine(std::string_view line) {
  if (line.starts_with('*')) return Entry{std::string(line.substr(1)), false};
  return Entry{std::string(line), true};
}

void ReadSettingLine(std::string_view line, std::vector<ListFileSetting>& settings) {
  for (const SwitchLine& candidate : kSwitchLines) {
    if (line == candidate.line) {
      settings.push_back(ListFileSetting{candidate.key, candidate.on, 0});
      return;
    }
  }
  long long wait = 0;
  if (line.starts_with(kWaitPrefix) && ParseInteger(line.substr(kWaitPrefix.size()), wait)) {
    settings.push_back(ListFileSetting{ListFileSetting::Key::Wait, false, wait});
  }
}

bool StartsWithIgnoreAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

// Removes every pair of adjacent double quotes, left to right; what is left after a removal
// is not looked at again (three quotes leave one).
std::string WithoutDoubledQuotes(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      ++i;
    } else {
      out.push_back(line[i]);
    }
  }
  return out;
}

// The batch export doubles every "%" so the command interpreter passes it on; reading the
// file back undoes that, as the interpreter does.
std::string WithSinglePercents(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    out.push_back(text[i]);
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
  }
  return out;
}

}  // namespace

ListFileKind ListFileKindOf(std::string_view fileName) {
  const std::size_t separator = fileName.find_last_of("\\/");
  const std::string_view name = separator == std::string_view::npos ? fileName : fileName.substr(separator + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return ListFileKind::PlainText;
  const std::string extension = AsciiLower(name.substr(dot));
  if (extension == ".qlst") return ListFileKind::ListFormat;
  if (extension == ".bat") return ListFileKind::Batch;
  return ListFileKind::PlainText;
}

std::string ListFormatBytes(const std::vector<Entry>& entries, const ListOptions& options) {
  std::string out;
  out.reserve(kUtf8ByteOrderMark.size() + 128 + EntryBytes(entries));
  out.append(kUtf8ByteOrderMark);
  AppendCrLfLine(out, kSettingsSection);
  AppendCrLfLine(out, std::string(kWaitPrefix) + std::to_string(options.wait));
  AppendCrLfLine(out, std::string("StayOnTop=") + YesNo(options.stayOnTop));
  AppendCrLfLine(out, std::string("AutoOpenList=") + YesNo(options.autoOpenList));
  AppendCrLfLine(out, std::string("AutoCloseApplication=") + YesNo(options.autoClose));
  AppendCrLfLine(out, kFilesSection);
  for (const Entry& entry : entries) {
    if (!entry.checked) out.push_back('*');
    AppendCrLfLine(out, entry.text);
  }
  return out;
}

std::string PlainListBytes(const std::vector<Entry>& entries) {
  std::string out;
  out.reserve(kUtf8ByteOrderMark.size() + EntryBytes(entries));
  out.append(kUtf8ByteOrderMark);
  for (const Entry& entry : entries) AppendCrLfLine(out, entry.text);
  return out;
}

ListFileContent ReadListFormat(std::string_view text) {
  enum class Section { None, Settings, Files };
  const std::vector<std::string_view> lines = SplitLines(text);
  ListFileContent content;
  content.entries.reserve(lines.size());
  Section section = Section::None;
  for (const std::string_view line : lines) {
    if (line == kSettingsSection) {
      section = Section::Settings;
    } else if (line == kFilesSection) {
      section = Section::Files;
    } else if (section == Section::Settings) {
      ReadSettingLine(line, content.settings);
    } else if (!TrimBlanks(line).empty()) {
      content.entries.push_back(EntryFromMarkedLine(line));
    }
  }
  return content;
}

ListFileContent ReadPlainList(std::string_view text) {
  const std::vector<std::string_view> lines = SplitLines(text);
  ListFileContent content;
  content.entries.reserve(lines.size());
  for (const std::string_view line : lines) content.entries.push_back(EntryFromMarkedLine(line));
  return content;
}

ListFileContent ReadBatchList(std::string_view text) {
  ListFileContent content;
  bool started = false;
  for (const std::string_view line : SplitLines(text)) {
    if (StartsWithIgnoreAsciiCase(line, "rem start")) {
      started = true;
      continue;
    }
    // Lines before the start mark are the file's own set-up; any remark after it (the
    // finish mark included) is no entry.
    if (!started || StartsWithIgnoreAsciiCase(line, "rem")) continue;
    const std::string command = WithoutDoubledQuotes(line);
    // The entry is the last quoted argument: everything after the first blank + quote. The
    // wait lines have none.
    const std::size_t quote = command.find(" \"");
    if (quote == std::string::npos) continue;
    std::string_view entry = std::string_view(command).substr(quote + 2);
    if (entry.ends_with('"')) entry.remove_suffix(1);
    content.entries.push_back(Entry{WithSinglePercents(entry), true});
  }
  return content;
}

ListFileContent ReadListFile(ListFileKind kind, std::string_view decodedText) {
  switch (kind) {
    case ListFileKind::ListFormat:
      return ReadListFormat(decodedText);
    case ListFileKind::Batch:
      return ReadBatchList(decodedText);
    case ListFileKind::PlainText:
      break;
  }
  return ReadPlainList(decodedText);
}

std::optional<ListFileContent> LoadListFile(FileSystem& fs, const AnsiDecoder& ansi, const std::string& path) {
  std::optional<std::string> bytes = DoingTask(FileTask::ReadList, path, [&] { return fs.ReadFile(path); });
  if (!bytes) return std::nullopt;
  return ReadListFile(ListFileKindOf(path), DecodeTextFileInPlace(*bytes, ansi));
}

void SaveListFile(FileSystem& fs, const std::string& path, const std::vector<Entry>& entries,
                  const ListOptions& options) {
  const bool listFormat = ListFileKindOf(path) == ListFileKind::ListFormat;
  const std::string bytes = listFormat ? ListFormatBytes(entries, options) : PlainListBytes(entries);
  DoingTask(FileTask::SaveList, path, [&] { fs.ReplaceFile(path, bytes); });
}

}  // namespace quillet
