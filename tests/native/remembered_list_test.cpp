#include "store/remembered_list.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fake_ansi_decoder.h"
#include "test_support.h"

namespace quillet {
namespace {

constexpr const char* kDir = "C:\\Users\\u\\AppData\\Roaming\\Quillet\\";
const std::string kFilesTxt = std::string(kDir) + "files.txt";
const std::string kBom = "\xEF\xBB\xBF";

using Texts = std::vector<std::string>;

// A byte string literal with its NULs.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

// Writes fail while failWrites is set, as on a full disk or a read-only files.txt; reads
// while failReads is set, as for a file another program holds locked.
class FlakyFileSystem : public test::MemoryFileSystem {
 public:
  bool failWrites = false;
  bool failReads = false;
  int writeAttempts = 0;

  std::optional<std::string> ReadFile(const std::string& path) override {
    if (failReads) throw IoError(5, "Access is denied");
    return MemoryFileSystem::ReadFile(path);
  }
  void ReplaceFile(const std::string& path, const std::string& bytes) override {
    ++writeAttempts;
    if (failWrites) throw IoError(112, "There is not enough space on the disk");
    MemoryFileSystem::ReplaceFile(path, bytes);
  }
};

ItemList ListOf(const Texts& texts) {
  ItemList list;
  for (const std::string& text : texts) list.Ekle(text, true);
  return list;
}

std::string FileOf(const Texts& texts) {
  std::string bytes = kBom;
  for (const std::string& text : texts) bytes += text + "\r\n";
  return bytes;
}

TEST(RememberedListTest, PathIsFilesTxtInTheSettingsFolder) {
  test::MemoryFileSystem fs;
  EXPECT_EQ(RememberedList(fs, kDir).Path(), kFilesTxt);
}

TEST(RememberedListTest, WritesEveryTextWithCrLfAfterABom) {
  test::MemoryFileSystem fs;
  RememberedList remembered(fs, kDir);
  ItemList list = ListOf({"C:\\\xE8\xAE\xB0\xE4\xBA\x8B.txt", "", "  http://x  ", ""});
  list.SetChecked(0, false);  // marks are not part of the file
  EXPECT_TRUE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.files[kFilesTxt], FileOf({"C:\\\xE8\xAE\xB0\xE4\xBA\x8B.txt", "", "  http://x  ", ""}));

  list.RemoveAll();
  EXPECT_TRUE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.files[kFilesTxt], kBom);
  EXPECT_EQ(fs.replaceCount, 2);
}

TEST(RememberedListTest, EmptyListAtStartLeavesAnEarlierFileUntilTheFirstChange) {
  // Remember off: nothing was loaded, the snapshot is empty and so is the list.
  test::MemoryFileSystem fs;
  fs.files[kFilesTxt] = FileOf({"from an earlier run"});
  RememberedList remembered(fs, kDir);
  ItemList list;
  EXPECT_FALSE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.files[kFilesTxt], FileOf({"from an earlier run"}));
  list.Ekle("new", true);
  EXPECT_TRUE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.files[kFilesTxt], FileOf({"new"}));
}

struct TickCase {
  const char* name;
  std::function<void(ItemList&)> change;  // on a saved list "0".."4", entry 2 selected
  std::optional<Texts> written;           // nullopt: the tick writes nothing
};

class SaveTickTest : public testing::TestWithParam<TickCase> {};

TEST_P(SaveTickTest, WritesOnceAfterATextChangeAndNeverForMarks) {
  const TickCase& c = GetParam();
  test::MemoryFileSystem fs;
  RememberedList remembered(fs, kDir);
  ItemList list = ListOf({"0", "1", "2", "3", "4"});
  ASSERT_TRUE(remembered.SaveIfChanged(list));
  list.Select(2);
  c.change(list);

  const bool wrote = remembered.SaveIfChanged(list);
  EXPECT_EQ(wrote, c.written.has_value());
  EXPECT_EQ(fs.files[kFilesTxt], FileOf(c.written.value_or(Texts{"0", "1", "2", "3", "4"})));
  EXPECT_FALSE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.replaceCount, wrote ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, SaveTickTest,
    testing::Values(
        TickCase{"Uncheck", [](ItemList& l) { l.SetChecked(1, false); }, std::nullopt},
        TickCase{"CheckNoneThenAll", [](ItemList& l) { l.CheckNone(); l.CheckAll(); }, std::nullopt},
        TickCase{"Toggle", [](ItemList& l) { l.ToggleChecked(4); }, std::nullopt},
        TickCase{"Select", [](ItemList& l) { l.Select(0); }, std::nullopt},
        TickCase{"Add", [](ItemList& l) { l.Ekle("5", false); }, Texts{"0", "1", "2", "3", "4", "5"}},
        TickCase{"AddEmpty", [](ItemList& l) { l.Ekle("", true); }, Texts{"0", "1", "2", "3", "4", ""}},
        TickCase{"Paste", [](ItemList& l) { l.Paste("a\r\n\r\n"); }, Texts{"0", "1", "2", "3", "4", "a", ""}},
        TickCase{"Edit", [](ItemList& l) { l.ReplaceAll({{"0", true}, {"1", true}, {"two", true}, {"3", true}, {"4", true}}); },
                 Texts{"0", "1", "two", "3", "4"}},
        TickCase{"MoveUp", [](ItemList& l) { l.MoveUp(); }, Texts{"0", "2", "1", "3", "4"}},
        TickCase{"MoveBottom", [](ItemList& l) { l.MoveBottom(); }, Texts{"0", "1", "3", "4", "2"}},
        TickCase{"Drop", [](ItemList& l) { l.DropSelectedAt(0); }, Texts{"2", "0", "1", "3", "4"}},
        TickCase{"Remove", [](ItemList& l) { l.RemoveSelected(); }, Texts{"0", "1", "3", "4"}},
        TickCase{"RemoveAllLeavesTheBom", [](ItemList& l) { l.RemoveAll(); }, Texts{}},
        TickCase{"AddThenRemove", [](ItemList& l) { l.Ekle("x", true); l.Select(5); l.DeleteSelected(); }, std::nullopt},
        TickCase{"SameTextsAgain", [](ItemList& l) { l.ReplaceAll({{"0", false}, {"1", false}, {"2", false}, {"3", false}, {"4", false}}); }, std::nullopt},
        TickCase{"SwapEqualTexts", [](ItemList& l) { l.Ekle("2", true); l.Select(5); l.MoveTop(); l.Select(0); l.DeleteSelected(); }, std::nullopt}),
    [](const testing::TestParamInfo<TickCase>& p) { return p.param.name; });

TEST(RememberedListTest, TextsAreComparedAsTheFileWouldHoldThem) {
  // Only a quoted command-line argument can carry a line break into an entry. files.txt can't
  // keep it as one entry; the comparison goes by what the file would hold, so such a list is
  // written once and not again at every tick.
  test::MemoryFileSystem fs;
  fs.files[kFilesTxt] = FileOf({"a", "b"});
  RememberedList remembered(fs, kDir);
  test::Latin1Decoder ansi;
  ASSERT_TRUE(remembered.Load(ansi));
  ItemList list = ListOf({"a\r\nb"});
  EXPECT_FALSE(remembered.SaveIfChanged(list));  // files.txt already says exactly this

  list.ReplaceAll({Entry{"a\nb", true}});
  EXPECT_TRUE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.files[kFilesTxt], kBom + "a\nb\r\n");
  list.Ekle("c", true);
  list.Select(1);
  list.RemoveSelected();
  EXPECT_FALSE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.replaceCount, 1);
}

TEST(RememberedListTest, PrefixesAndSplitsOfTheSnapshotAreChanges) {
  test::MemoryFileSystem fs;
  RememberedList remembered(fs, kDir);
  ItemList list = ListOf({"ab", "c"});
  ASSERT_TRUE(remembered.SaveIfChanged(list));
  const std::vector<Texts> changed = {{"ab"}, {"ab", "c", ""}, {"a", "bc"}, {"abc"}, {"ab", "c\r"}, {}};
  for (const Texts& texts : changed) {
    std::vector<Entry> entries;
    for (const std::string& text : texts) entries.push_back(Entry{text, true});
    list.ReplaceAll(std::move(entries));
    EXPECT_TRUE(remembered.SaveIfChanged(list)) << testing::PrintToString(texts);
    EXPECT_EQ(fs.files[kFilesTxt], FileOf(texts));
  }
}

struct LoadCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;
};

class LoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadTest, ReadsEveryLineAndTakesThemAsTheSnapshot) {
  const LoadCase& c = GetParam();
  test::MemoryFileSystem fs;
  fs.files[kFilesTxt] = c.bytes;
  RememberedList remembered(fs, kDir);
  test::Latin1Decoder ansi;
  EXPECT_EQ(remembered.Load(ansi), c.lines);

  // The window puts the lines into the list, all checked: the next tick has nothing to write.
  ItemList list;
  std::vector<Entry> entries;
  for (const std::string& line : c.lines) entries.push_back(Entry{line, true});
  list.ReplaceAll(std::move(entries));
  EXPECT_FALSE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.replaceCount, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadTest,
    testing::Values(
        LoadCase{"Utf8WithBom", "\xEF\xBB\xBF" "a\r\n\r\n\xE4\xB8\xAD b \r\n", {"a", "", "\xE4\xB8\xAD b "}},
        LoadCase{"BomOnly", "\xEF\xBB\xBF", {}},
        LoadCase{"EmptyFile", "", {}},
        LoadCase{"MixedLineBreaksLastWithout", "\xEF\xBB\xBF" "a\nb\rc", {"a", "b", "c"}},
        LoadCase{"StarHasNoMeaning", "\xEF\xBB\xBF*a\r\n", {"*a"}},
        LoadCase{"Utf16LittleEndian", Bytes("\xFF\xFE" "a\0\r\0\n\0\x2D\x4E\r\0\n\0"), {"a", "\xE4\xB8\xAD"}},
        LoadCase{"Utf16BigEndian", Bytes("\xFE\xFF\0a\0\r\0\n\x4E\x2D"), {"a", "\xE4\xB8\xAD"}},
        LoadCase{"AnsiWithoutBom", "caf\xE9\r\n", {"caf\xC3\xA9"}}),
    [](const testing::TestParamInfo<LoadCase>& p) { return p.param.name; });

TEST(RememberedListTest, AMissingFileLoadsNothingAndKeepsTheSnapshot) {
  test::MemoryFileSystem fs;
  RememberedList remembered(fs, kDir);
  test::Latin1Decoder ansi;
  fs.files[kFilesTxt] = FileOf({"a"});
  ASSERT_TRUE(remembered.Load(ansi));
  fs.files.erase(kFilesTxt);
  EXPECT_EQ(remembered.Load(ansi), std::nullopt);
  EXPECT_FALSE(remembered.OnHold());
  // The snapshot is still the one from the good read.
  EXPECT_FALSE(remembered.SaveIfChanged(ListOf({"a"})));
  EXPECT_EQ(fs.replaceCount, 0);
}

// files.txt exists but another program holds it at start: the remembered entries must not
// be replaced by a list that did not come from them, so nothing is written until the file
// has been read.
TEST(RememberedListTest, AFileThatCannotBeReadIsNeverOverwrittenUnread) {
  FlakyFileSystem fs;
  fs.files[kFilesTxt] = FileOf({"kept 1", "kept 2"});
  RememberedList remembered(fs, kDir);
  test::Latin1Decoder ansi;
  fs.failReads = true;
  try {
    remembered.Load(ansi);
    FAIL() << "an unreadable files.txt went unreported";
  } catch (const IoError& error) {
    EXPECT_EQ(std::string(error.what()), "无法读取记住的列表 \"" + kFilesTxt + "\".\r\rAccess is denied");
  }
  EXPECT_TRUE(remembered.OnHold());

  ItemList list = ListOf({"added by the user"});
  EXPECT_FALSE(remembered.SaveIfChanged(list));
  EXPECT_EQ(remembered.RetryHeld(ansi), std::nullopt);  // still held
  EXPECT_FALSE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.writeAttempts, 0);
  EXPECT_EQ(fs.files[kFilesTxt], FileOf({"kept 1", "kept 2"}));

  fs.failReads = false;
  EXPECT_EQ(remembered.RetryHeld(ansi), (Texts{"kept 1", "kept 2"}));
  EXPECT_FALSE(remembered.OnHold());
  // The file's lines are the snapshot now: the same list writes nothing, a longer one the whole.
  EXPECT_FALSE(remembered.SaveIfChanged(ListOf({"kept 1", "kept 2"})));
  EXPECT_TRUE(remembered.SaveIfChanged(ListOf({"kept 1", "kept 2", "added by the user"})));
  EXPECT_EQ(fs.files[kFilesTxt], FileOf({"kept 1", "kept 2", "added by the user"}));
}

TEST(RememberedListTest, AHoldEndsWhenTheFileIsGoneOrTheListWasReplacedOnPurpose) {
  test::Latin1Decoder ansi;
  {
    FlakyFileSystem fs;
    fs.files[kFilesTxt] = FileOf({"kept"});
    RememberedList remembered(fs, kDir);
    fs.failReads = true;
    EXPECT_THROW(remembered.Load(ansi), IoError);
    fs.failReads = false;
    fs.files.erase(kFilesTxt);  // nothing left to keep
    EXPECT_EQ(remembered.RetryHeld(ansi), Texts{});
    EXPECT_FALSE(remembered.OnHold());
    EXPECT_TRUE(remembered.SaveIfChanged(ListOf({"new"})));
    EXPECT_EQ(fs.files[kFilesTxt], FileOf({"new"}));
  }
  {
    FlakyFileSystem fs;
    fs.files[kFilesTxt] = FileOf({"kept"});
    RememberedList remembered(fs, kDir);
    fs.failReads = true;
    EXPECT_THROW(remembered.Load(ansi), IoError);
    // The command line named the list to use instead.
    remembered.EndHold();
    EXPECT_TRUE(remembered.SaveIfChanged(ListOf({"from the command line"})));
    EXPECT_EQ(fs.files[kFilesTxt], FileOf({"from the command line"}));
  }
}

TEST(RememberedListTest, LoadAfterSavesMakesTheNextTickCompareAgain) {
  test::MemoryFileSystem fs;
  RememberedList remembered(fs, kDir);
  ItemList list = ListOf({"a"});
  ASSERT_TRUE(remembered.SaveIfChanged(list));
  fs.files[kFilesTxt] = FileOf({"other"});
  test::Latin1Decoder ansi;
  ASSERT_TRUE(remembered.Load(ansi));
  // The list is unchanged since the last tick, but the snapshot is not.
  EXPECT_TRUE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.files[kFilesTxt], FileOf({"a"}));
}

// Another program holding files.txt for a few seconds is no failure to report: the write is
// tried again at every tick, and only a failure that lasts kQuietFailedTicks ticks in a row
// reaches the error report, once.
TEST(RememberedListTest, FailedWritesRetryEveryTickAndReportOnceWhenTheyLast) {
  constexpr int kQuiet = RememberedList::kQuietFailedTicks;
  FlakyFileSystem fs;
  RememberedList remembered(fs, kDir);
  ItemList list = ListOf({"a"});
  ASSERT_TRUE(remembered.SaveIfChanged(list));

  // A hold shorter than the quiet ticks: nothing is reported, and the list is written after it.
  fs.failWrites = true;
  list.Ekle("b", true);
  for (int tick = 1; tick < kQuiet; ++tick) EXPECT_FALSE(remembered.SaveIfChanged(list)) << tick;
  EXPECT_EQ(fs.files[kFilesTxt], FileOf({"a"}));
  fs.failWrites = false;
  EXPECT_TRUE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.files[kFilesTxt], FileOf({"a", "b"}));
  EXPECT_EQ(fs.writeAttempts, 1 + kQuiet);  // every tick tried

  // A lasting failure: the tick that makes it kQuiet in a row reports it, the later ones not.
  fs.failWrites = true;
  list.Ekle("c", true);
  for (int tick = 1; tick < kQuiet; ++tick) EXPECT_FALSE(remembered.SaveIfChanged(list)) << tick;
  try {
    remembered.SaveIfChanged(list);
    FAIL() << "the lasting failure was not reported";
  } catch (const IoError& error) {
    // The report names the task and the file, then the system's text.
    EXPECT_EQ(std::string(error.what()),
              "无法保存记住的列表 \"" + kFilesTxt + "\".\r\rThere is not enough space on the disk");
  }
  list.ToggleChecked(0);
  for (int tick = 0; tick < 2 * kQuiet; ++tick) EXPECT_FALSE(remembered.SaveIfChanged(list)) << tick;
  EXPECT_EQ(fs.files[kFilesTxt], FileOf({"a", "b"}));

  // After a good write, a new lasting failure is reported again.
  fs.failWrites = false;
  EXPECT_TRUE(remembered.SaveIfChanged(list));
  fs.failWrites = true;
  list.Ekle("d", true);
  for (int tick = 1; tick < kQuiet; ++tick) EXPECT_FALSE(remembered.SaveIfChanged(list));
  EXPECT_THROW(remembered.SaveIfChanged(list), IoError);
}

TEST(RememberedListTest, FailedWriteKeepsTheSnapshot) {
  FlakyFileSystem fs;
  RememberedList remembered(fs, kDir);
  ItemList list = ListOf({"a", "b"});
  ASSERT_TRUE(remembered.SaveIfChanged(list));
  fs.failWrites = true;
  list.Select(1);
  list.MoveUp();
  EXPECT_FALSE(remembered.SaveIfChanged(list));
  // Back to what files.txt holds: nothing to write, nothing tried.
  list.MoveDown();
  EXPECT_FALSE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.writeAttempts, 2);
  // Nothing has been written since the failure: a new failure is part of the same run.
  list.Ekle("c", true);
  EXPECT_FALSE(remembered.SaveIfChanged(list));
  EXPECT_EQ(fs.writeAttempts, 3);
}

}  // namespace
}  // namespace quillet
