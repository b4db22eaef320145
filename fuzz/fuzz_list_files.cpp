// Bytes of a list file as loading reads them: the text decoding, then one of the three
// readers (the first byte picks it). Whatever a reader keeps must come back the same after
// saving it again in that reader's own format.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fake_ansi_decoder.h"
#include "fake_probe.h"
#include "store/batch_export.h"
#include "store/list_files.h"
#include "store/text_file.h"
#include "util/text.h"

namespace {

using quillet::Entry;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string Decode(std::string_view bytes) {
  static const quillet::test::Latin1Decoder ansi;
  return quillet::DecodeTextFile(bytes, ansi);
}

// What a text list gives back for entries: a leading "*" reads as a check mark.
std::vector<Entry> AsReadFromTextList(const std::vector<Entry>& entries) {
  std::vector<Entry> expected;
  for (const Entry& entry : entries) {
    const bool starred = !entry.text.empty() && entry.text.front() == '*';
    expected.push_back(starred ? Entry{entry.text.substr(1), false} : Entry{entry.text, true});
  }
  return expected;
}

void CheckListFormatRoundTrip(const std::vector<Entry>& entries) {
  const quillet::ListOptions options{-7, true, false, true};
  const quillet::ListFileContent reread = quillet::ReadListFormat(Decode(quillet::ListFormatBytes(entries, options)));
  Check(reread.entries == entries);
  Check(reread.settings.size() == 4);
  Check(reread.settings[0].key == quillet::ListFileSetting::Key::Wait && reread.settings[0].wait == -7);
}

void CheckPlainRoundTrip(const std::vector<Entry>& entries) {
  const quillet::ListFileContent reread = quillet::ReadPlainList(Decode(quillet::PlainListBytes(entries)));
  Check(reread.entries == AsReadFromTextList(entries));
}

// Default-program lines give back every entry that fits between quotes; the others (a double
// quote or a control character inside) are left out and named by index. Empty entries are not
// exported here: their empty pair of quotes is removed on reading.
void CheckBatchRoundTrip(const std::vector<Entry>& entries) {
  std::vector<Entry> nonEmpty, fitting;
  std::vector<std::size_t> unfit;
  for (const Entry& entry : entries) {
    if (entry.text.empty()) continue;
    if (quillet::FitsBatchQuotes(entry.text)) {
      fitting.push_back(entry);
    } else {
      unfit.push_back(nonEmpty.size());
    }
    nonEmpty.push_back(entry);
  }
  quillet::test::FakeProbe noFolders;
  quillet::BatchOptions options;
  options.wait = 100;
  const quillet::BatchFile file = quillet::MakeBatchFile(nonEmpty, options, noFolders);
  Check(file.leftOut == unfit);
  const quillet::ListFileContent reread = quillet::ReadBatchList(Decode(file.bytes));
  Check(reread.entries.size() == fitting.size());
  for (std::size_t i = 0; i < fitting.size() && i < reread.entries.size(); ++i) {
    Check(reread.entries[i].text == fitting[i].text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto kind = static_cast<quillet::ListFileKind>(data[0] % 3);
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string text = Decode(bytes);
  Check(quillet::IsValidUtf8(text));
  std::string buffer(bytes);
  Check(quillet::DecodeTextFileInPlace(buffer, quillet::test::Latin1Decoder()) == text);

  const quillet::ListFileContent content = quillet::ReadListFile(kind, text);
  for (const Entry& entry : content.entries) {
    Check(entry.text.find_first_of("\r\n") == std::string::npos);
    Check(quillet::IsValidUtf8(entry.text));
  }
  switch (kind) {
    case quillet::ListFileKind::ListFormat:
      CheckListFormatRoundTrip(content.entries);
      break;
    case quillet::ListFileKind::PlainText:
      Check(content.entries.size() == quillet::SplitLines(text).size());
      CheckPlainRoundTrip(content.entries);
      break;
    case quillet::ListFileKind::Batch:
      Check(content.settings.empty());
      CheckBatchRoundTrip(content.entries);
      break;
  }
  return 0;
}
