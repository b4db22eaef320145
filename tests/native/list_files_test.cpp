#include "store/list_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_ansi_decoder.h"
#include "platform/posix/posix_file_system.h"
#include "test_support.h"

namespace quillet {
namespace {

using namespace std::string_literals;
using Key = ListFileSetting::Key;

const std::string kBom = "\xEF\xBB\xBF";
const std::string kChinese = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文

// Entries as readable lines for failure messages: "[x] text" checked, "[ ] text" unchecked.
std::vector<std::string> Marked(const std::vector<Entry>& entries) {
  std::vector<std::string> lines;
  for (const Entry& entry : entries) lines.push_back((entry.checked ? "[x] " : "[ ] ") + entry.text);
  return lines;
}

std::vector<std::string> Described(const std::vector<ListFileSetting>& settings) {
  static const char* const kNames[] = {"StayOnTop", "AutoOpenList", "AutoClose", "Wait"};
  std::vector<std::string> lines;
  for (const ListFileSetting& s : settings) {
    lines.push_back(std::string(kNames[static_cast<int>(s.key)]) + "=" +
                    (s.key == Key::Wait ? std::to_string(s.wait) : s.on ? "on" : "off"));
  }
  return lines;
}

TEST(ListFileKindOfTest, ExtensionOfTheLastComponentInLowerCase) {
  const struct {
    const char* name;
    ListFileKind kind;
  } cases[] = {
      {"L.qlst", ListFileKind::ListFormat},
      {"C:\\Lists\\L.QLST", ListFileKind::ListFormat},
      {"a.txt.qlst", ListFileKind::ListFormat},
      {".qlst", ListFileKind::ListFormat},
      {"run.bat", ListFileKind::Batch},
      {"C:\\Run.BAT", ListFileKind::Batch},
      {"/home/x/run.Bat", ListFileKind::Batch},
      {"list.txt", ListFileKind::PlainText},
      {"list", ListFileKind::PlainText},
      {"list.", ListFileKind::PlainText},
      {"a.qlst.txt", ListFileKind::PlainText},
      {"a.qlstx", ListFileKind::PlainText},
      {"a.bat.", ListFileKind::PlainText},
      // A dot in a folder name is no extension of the file.
      {"C:\\lists.qlst\\list", ListFileKind::PlainText},
      {"C:\\dir.bat/list", ListFileKind::PlainText},
      {"", ListFileKind::PlainText},
  };
  for (const auto& c : cases) EXPECT_EQ(ListFileKindOf(c.name), c.kind) << c.name;
}

TEST(ListFormatBytesTest, SettingsThenOneLinePerEntry) {
  const std::vector<Entry> entries = {{"A", true}, {"B", false}};
  EXPECT_EQ(ListFormatBytes(entries, ListOptions{500, true, false, false}),
            kBom + "[SETTINGS]\r\nWait=500\r\nStayOnTop=Yes\r\nAutoOpenList=No\r\nAutoCloseApplication=No\r\n"
                   "[FILES]\r\nA\r\n*B\r\n");
  EXPECT_EQ(ListFormatBytes({}, ListOptions{-20, false, true, true}),
            kBom + "[SETTINGS]\r\nWait=-20\r\nStayOnTop=No\r\nAutoOpenList=Yes\r\nAutoCloseApplication=Yes\r\n"
                   "[FILES]\r\n");
  // Texts go out unchanged: blanks, a leading "*", a section name, nothing at all.
  const std::vector<Entry> odd = {{" a ", true}, {"*b", true}, {"*c", false}, {"[FILES]", true}, {"", false}};
  EXPECT_EQ(ListFormatBytes(odd, ListOptions{}),
            kBom + "[SETTINGS]\r\nWait=0\r\nStayOnTop=No\r\nAutoOpenList=No\r\nAutoCloseApplication=No\r\n"
                   "[FILES]\r\n a \r\n*b\r\n**c\r\n[FILES]\r\n*\r\n");
}

TEST(PlainListBytesTest, TextsOnlyWithoutCheckMarks) {
  const std::vector<Entry> entries = {{"A", true}, {"B", false}, {"", true}, {kChinese, false}};
  EXPECT_EQ(PlainListBytes(entries), kBom + "A\r\nB\r\n\r\n" + kChinese + "\r\n");
  EXPECT_EQ(PlainListBytes({}), kBom);
}

struct ReadCase {
  const char* name;
  std::string text;
  std::vector<std::string> entries;   // Marked form
  std::vector<std::string> settings;  // Described form
};

class ReadListFormatTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadListFormatTest, EntriesAndSettingsInFileOrder) {
  const ReadCase& c = GetParam();
  const ListFileContent content = ReadListFormat(c.text);
  EXPECT_EQ(Marked(content.entries), c.entries);
  EXPECT_EQ(Described(content.settings), c.settings);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadListFormatTest,
    testing::Values(
        ReadCase{"AsSaved",
                 "[SETTINGS]\r\nWait=500\r\nStayOnTop=Yes\r\nAutoOpenList=No\r\nAutoCloseApplication=No\r\n"
                 "[FILES]\r\nA\r\n*B\r\n",
                 {"[x] A", "[ ] B"},
                 {"Wait=500", "StayOnTop=on", "AutoOpenList=off", "AutoClose=off"}},
        ReadCase{"EverySwitchBothWays",
                 "[SETTINGS]\nStayOnTop=No\nAutoOpenList=Yes\nAutoCloseApplication=Yes\nStayOnTop=Yes\n"
                 "AutoOpenList=No\nAutoCloseApplication=No\nWait=1\nWait=2",
                 {},
                 {"StayOnTop=off", "AutoOpenList=on", "AutoClose=on", "StayOnTop=on", "AutoOpenList=off",
                  "AutoClose=off", "Wait=1", "Wait=2"}},
        ReadCase{"WithoutSectionLines", "a\r\n\r\n   \r\n*b\r\n  c  \r\n*\r\n**d\r\n",
                 {"[x] a", "[ ] b", "[x]   c  ", "[ ] ", "[ ] *d"},
                 {}},
        // Only exact, case-sensitive section lines count; others are entries, or ignored in
        // the settings section.
        ReadCase{"SectionLinesAreCaseSensitive",
                 "[settings]\r\n [FILES]\r\n[SETTINGS]\r\n[files]\r\nentry?\r\n[FILES]\r\n[files]\r\n[SETTINGS] \r\n",
                 {"[x] [settings]", "[x]  [FILES]", "[x] [files]", "[x] [SETTINGS] "},
                 {}},
        ReadCase{"EntriesAfterASettingsLineAreIgnored", "[FILES]\r\na\r\n[SETTINGS]\r\nb\r\nWait=3\r\n[FILES]\r\nc",
                 {"[x] a", "[x] c"},
                 {"Wait=3"}},
        ReadCase{"SettingLinesAreComparedWhole",
                 "[SETTINGS]\r\nstayontop=Yes\r\nStayOnTop=yes\r\nStayOnTop=Yes \r\n StayOnTop=Yes\r\n"
                 "AutoClose=Yes\r\nAutoCloseApplication=True\r\n",
                 {},
                 {}},
        ReadCase{"WaitThatDoesNotParseIsIgnored",
                 "[SETTINGS]\r\nWait=abc\r\nWait=\r\nWait= 5\r\nWait=5 \r\nWait=1.5\r\nwait=6\r\n"
                 "Wait=99999999999999999999\r\nWait=-20\r\nWait=+7\r\nWait=007\r\n",
                 {},
                 {"Wait=-20", "Wait=7", "Wait=7"}},
        ReadCase{"EveryLineEnd", "[FILES]\ra\nb\r\nc\r\rd", {"[x] a", "[x] b", "[x] c", "[x] d"}, {}},
        ReadCase{"ChineseText", "[FILES]\r\n" + kChinese + "\r\n*C:\\" + kChinese + "\r\n",
                 {"[x] " + kChinese, "[ ] C:\\" + kChinese},
                 {}},
        ReadCase{"Empty", "", {}, {}}),
    [](const testing::TestParamInfo<ReadCase>& p) { return p.param.name; });

class ReadPlainListTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadPlainListTest, EveryLineIsAnEntry) {
  const ReadCase& c = GetParam();
  const ListFileContent content = ReadPlainList(c.text);
  EXPECT_EQ(Marked(content.entries), c.entries);
  EXPECT_TRUE(content.settings.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadPlainListTest,
    testing::Values(
        ReadCase{"BlankLinesKept", "a\r\n\r\n  \r\n*b\r\n*\r\n", {"[x] a", "[x] ", "[x]   ", "[ ] b", "[ ] "}, {}},
        // A list-format file read as text: its section and option lines become entries.
        ReadCase{"NoSections", "[SETTINGS]\r\nWait=5\r\n[FILES]\r\n**x",
                 {"[x] [SETTINGS]", "[x] Wait=5", "[x] [FILES]", "[ ] *x"},
                 {}},
        ReadCase{"EveryLineEnd", "a\rb\nc\r\n\r\rd\r", {"[x] a", "[x] b", "[x] c", "[x] ", "[x] ", "[x] d"}, {}},
        ReadCase{"OnlyALineEnd", "\r\n", {"[x] "}, {}},
        ReadCase{"Empty", "", {}, {}}),
    [](const testing::TestParamInfo<ReadCase>& p) { return p.param.name; });

class ReadBatchListTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadBatchListTest, EntriesFromTheCommandsAfterTheStartMark) {
  const ReadCase& c = GetParam();
  const ListFileContent content = ReadBatchList(c.text);
  EXPECT_EQ(Marked(content.entries), c.entries);
  EXPECT_TRUE(content.settings.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadBatchListTest,
    testing::Values(
        ReadCase{"Exported",
                 "@ECHO OFF\r\nCHCP 65001\r\nCLS\r\nECHO Generated by KALMIRO - Quillet 3.1\r\nREM Start\r\n"
                 "start \"\" \"C:\\a.txt\"\r\nping 192.0.2.2 -n 1 -w 1000 >nul\r\n"
                 "%SystemRoot%\\explorer.exe \"C:\\Data\"\r\nping 192.0.2.2 -n 1 -w 1000 >nul\r\n"
                 "start \"\" \"https://example.com/a%%20b\"\r\nREM Finish\r\n",
                 {"[x] C:\\a.txt", "[x] C:\\Data", "[x] https://example.com/a%20b"},
                 {}},
        ReadCase{"NamedProgram", "REM Start\r\nstart \"\" \"C:\\Windows\\notepad.exe\" \"C:\\a b.txt\"\r\n",
                 {"[x] C:\\Windows\\notepad.exe\" \"C:\\a b.txt"},
                 {}},
        ReadCase{"NoStartMark", "@ECHO OFF\r\nstart \"\" \"C:\\a.txt\"\r\nREM Finish\r\n", {}, {}},
        // The start mark is any line beginning with "rem start", in any case; commands before
        // it don't count.
        ReadCase{"StartMarkInAnyCase", "start \"\" \"before\"\r\nrEm STARTING now\r\nstart \"\" \"after\"",
                 {"[x] after"},
                 {}},
        ReadCase{"RemarksAfterTheStart",
                 "REM Start\r\nREM \"note\"\r\nremote.exe \"C:\\x\"\r\nRem Start again\r\nstart \"\" \"a\"\r\n"
                 "REM Finish\r\nstart \"\" \"after finish\"\r\n",
                 {"[x] a", "[x] after finish"},
                 {}},
        ReadCase{"LinesWithoutBlankAndQuote",
                 "REM Start\r\nping 192.0.2.2 -n 1 -w 5 >nul\r\nstart\t\"tab\"\r\nstart \"\" \"\"\r\n\r\n"
                 "cmd /c\"x\"\r\n",
                 {},
                 {}},
        // Doubled quotes go first, left to right; then the text after the first blank + quote,
        // without one final quote.
        ReadCase{"QuoteRules",
                 "REM Start\r\nstart \"\" \"a\"\"\"\r\nopen \"unterminated\r\nx \"y\" \"z\"\r\n"
                 "start \"\" \"\"\"q\"\r\nstart \"\" \"two\"\"\r\n",
                 {"[x] a", "[x] unterminated", "[x] y\" \"z", "[x] q", "[x] two"},
                 {}},
        ReadCase{"DoubledPercentsBecomeSingle", "REM Start\r\nstart \"\" \"100%%\"\r\nstart \"\" \"%%%x%\"\r\n",
                 {"[x] 100%", "[x] %%x%"},
                 {}},
        ReadCase{"ChineseText", "REM Start\r\nstart \"\" \"C:\\" + kChinese + ".txt\"\r\n",
                 {"[x] C:\\" + kChinese + ".txt"},
                 {}}),
    [](const testing::TestParamInfo<ReadCase>& p) { return p.param.name; });

TEST(ReadListFileTest, KindPicksTheReader) {
  const std::string text = "REM Start\r\n[FILES]\r\n*start \"\" \"x\"\r\n\r\n";
  EXPECT_EQ(Marked(ReadListFile(ListFileKind::ListFormat, text).entries),
            (std::vector<std::string>{"[x] REM Start", "[ ] start \"\" \"x\""}));
  EXPECT_EQ(Marked(ReadListFile(ListFileKind::PlainText, text).entries),
            (std::vector<std::string>{"[x] REM Start", "[x] [FILES]", "[ ] start \"\" \"x\"", "[x] "}));
  EXPECT_EQ(Marked(ReadListFile(ListFileKind::Batch, text).entries), (std::vector<std::string>{"[x] x"}));
}

// Saving and loading through real files, addressed with Windows separators as the program
// does.
class ListFilesOnDiskTest : public testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return temp.path() + "\\" + name; }
  std::optional<ListFileContent> Load(const std::string& name) { return LoadListFile(fs, ansi, PathOf(name)); }
  test::TempDir temp;
  PosixFileSystem fs;
  test::Latin1Decoder ansi;
};

const std::vector<Entry> kMixedEntries = {
    {"C:\\a.txt", true},         {"https://example.com/?q=" + kChinese, false},
    {"  blanks around  ", true}, {"*starred unchecked", false},
    {"C:\\" + kChinese, true},   {"100% \"quoted\"", true},
};

TEST_F(ListFilesOnDiskTest, ListFormatGivesBackEntriesCheckMarksAndOptions) {
  const ListOptions options{-250, false, true, true};
  SaveListFile(fs, PathOf("L.qlst"), kMixedEntries, options);
  EXPECT_EQ(test::ReadBytes(temp / "L.qlst"), ListFormatBytes(kMixedEntries, options));
  const std::optional<ListFileContent> loaded = Load("L.qlst");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->entries, kMixedEntries);
  EXPECT_EQ(Described(loaded->settings),
            (std::vector<std::string>{"Wait=-250", "StayOnTop=off", "AutoOpenList=on", "AutoClose=on"}));
  EXPECT_EQ(test::FolderNames(temp.path()), std::vector<std::string>{"L.qlst"});
}

TEST_F(ListFilesOnDiskTest, TextListGivesBackTextsAllChecked) {
  SaveListFile(fs, PathOf("L.txt"), kMixedEntries, ListOptions{500, true, true, true});
  EXPECT_EQ(test::ReadBytes(temp / "L.txt"), PlainListBytes(kMixedEntries));
  const std::optional<ListFileContent> loaded = Load("L.txt");
  ASSERT_TRUE(loaded);
  std::vector<Entry> expected = kMixedEntries;
  for (Entry& entry : expected) entry.checked = true;
  // The one text that begins with "*" reads as a check mark.
  expected[3] = Entry{"starred unchecked", false};
  EXPECT_EQ(loaded->entries, expected);
  EXPECT_TRUE(loaded->settings.empty());
}

TEST_F(ListFilesOnDiskTest, FormatFollowsTheNameNotTheFilter) {
  const std::vector<Entry> entries = {{"a", false}};
  SaveListFile(fs, PathOf("CAPS.QLST"), entries, ListOptions{});
  EXPECT_EQ(test::ReadBytes(temp / "CAPS.QLST"), ListFormatBytes(entries, ListOptions{}));
  // A text list saved under a batch name: the batch reader later finds nothing in it.
  SaveListFile(fs, PathOf("list.bat"), entries, ListOptions{});
  EXPECT_EQ(test::ReadBytes(temp / "list.bat"), kBom + "a\r\n");
  const std::optional<ListFileContent> loaded = Load("list.bat");
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(loaded->entries.empty());
}

TEST_F(ListFilesOnDiskTest, ReadsEveryEncoding) {
  const struct {
    const char* name;
    std::string bytes;
    std::vector<std::string> entries;
  } cases[] = {
      {"le.txt", "\xFF\xFE" "a\0\r\0*\0\x2D\x4E\n\0"s, {"[x] a", "[ ] \xE4\xB8\xAD"}},
      {"be.QLST", "\xFE\xFF" "\0[\0F\0I\0L\0E\0S\0]\0\r\0\n\0*\0b\0\r\0\n\x4E\x2D"s,
       {"[ ] b", "[x] \xE4\xB8\xAD"}},
      {"ansi.txt", "caf\xE9\r\n", {"[x] caf\xC3\xA9"}},
      {"utf8.txt", "caf\xC3\xA9\r\n", {"[x] caf\xC3\xA9"}},
      {"odd.txt", "\xFF\xFE" "a\0\r\0b"s, {"[x] a", "[x] \xEF\xBF\xBD"}},
      {"empty.qlst", "", {}},
  };
  for (const auto& c : cases) {
    test::WriteBytes(temp / c.name, c.bytes);
    const std::optional<ListFileContent> loaded = Load(c.name);
    ASSERT_TRUE(loaded) << c.name;
    EXPECT_EQ(Marked(loaded->entries), c.entries) << c.name;
  }
}

TEST_F(ListFilesOnDiskTest, MissingFileIsNoListAndOtherFailuresThrow) {
  EXPECT_FALSE(Load("missing.qlst"));
  EXPECT_FALSE(LoadListFile(fs, ansi, PathOf("no\\such\\folder.qlst")));
  // A folder where the file should be: it opens, but can't be read.
  test::MakeDirs(temp / "folder.qlst");
  EXPECT_THROW(Load("folder.qlst"), IoError);
  EXPECT_THROW(SaveListFile(fs, PathOf("missing\\L.qlst"), kMixedEntries, ListOptions{}), IoError);
}

}  // namespace
}  // namespace quillet
