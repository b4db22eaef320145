#include "store/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillet {
namespace {

using Arguments = std::vector<std::string>;

struct SplitCase {
  const char* name;
  std::string commandLine;
  Arguments arguments;
};

class SplitCommandLineTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, SplitsLikeTheProgramsOwnArgumentReader) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(SplitCommandLine(c.commandLine), c.arguments) << testing::PrintToString(c.commandLine);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLineTest,
    testing::Values(
        SplitCase{"Empty", "", {}},
        SplitCase{"OnlyBlanks", "   \t  ", {}},
        SplitCase{"ProgramOnly", "quillet.exe", {"quillet.exe"}},
        SplitCase{"Unquoted", "q.exe a b  c", {"q.exe", "a", "b", "c"}},
        SplitCase{"LeadingAndTrailingBlanks", "  q.exe a  ", {"q.exe", "a"}},
        SplitCase{"QuotedProgramWithBlanks", "\"C:\\Program Files\\q.exe\" x", {"C:\\Program Files\\q.exe", "x"}},
        SplitCase{"QuotedPathKeepsItsBlanks", "q \"C:\\My Lists\\a b.qlst\"", {"q", "C:\\My Lists\\a b.qlst"}},
        SplitCase{"QuotesInsideAWord", "q a\"b c\"d", {"q", "ab cd"}},
        SplitCase{"AdjacentQuotedStretchesJoin", "q \"a\"\"b\" \"c d\"e", {"q", "ab", "c de"}},
        SplitCase{"EmptyQuotesAreNoArgument", "q \"\" x \"\"\"\" y\"\"", {"q", "x", "y"}},
        SplitCase{"UnterminatedQuoteRunsToTheEnd", "q \"a b  ", {"q", "a b  "}},
        SplitCase{"LoneQuoteAtTheEnd", "q a \"", {"q", "a"}},
        SplitCase{"NoEscapeCharacter", "q \"a\\\" b\\\\\"", {"q", "a\\", "b\\\\"}},
        SplitCase{"TrailingBackslashKept", "q \"C:\\dir\\\" next", {"q", "C:\\dir\\", "next"}},
        SplitCase{"TabsAndControlCharactersSeparate", "q\ta\r\nb\x01" "c\x1F" "d", {"q", "a", "b", "c", "d"}},
        SplitCase{"QuotesKeepTabsAndLineBreaks", "q \"a\tb\nc\"", {"q", "a\tb\nc"}},
        SplitCase{"DelIsNoSeparator", "q a\x7F" "b", {"q", "a\x7F" "b"}},
        SplitCase{"EndsAtNul", std::string("q a\0b c", 7), {"q", "a"}},
        SplitCase{"Chinese", "q \xE8\xAE\xB0\xE4\xBA\x8B \"C:\\\xE5\x88\x97 \xE8\xA1\xA8.qlst\"",
                  {"q", "\xE8\xAE\xB0\xE4\xBA\x8B", "C:\\\xE5\x88\x97 \xE8\xA1\xA8.qlst"}},
        SplitCase{"FullWidthBlankIsNoSeparator", "q a\xE3\x80\x80" "b", {"q", "a\xE3\x80\x80" "b"}}),
    [](const testing::TestParamInfo<SplitCase>& p) { return p.param.name; });

TEST(SplitCommandLineTest, LongestCommandLineInOnePiece) {
  // 32,767 characters is the most a Windows command line holds; one quoted argument of
  // nearly all of it, and the same length as many short arguments.
  const std::string longText(32'000, 'x');
  const Arguments quoted = SplitCommandLine("q \"" + longText + "\"");
  ASSERT_EQ(quoted.size(), 2u);
  EXPECT_EQ(quoted[1], longText);

  std::string many = "q";
  for (int k = 0; k < 16'000; ++k) many += " a";
  EXPECT_EQ(SplitCommandLine(many).size(), 16'001u);

  const std::string quotes(32'000, '"');
  EXPECT_EQ(SplitCommandLine("q " + quotes), Arguments{"q"});
}

using Kind = StartupArguments::Kind;

struct StartupCase {
  const char* name;
  std::string commandLine;
  Kind kind;
  Arguments items;
};

class ReadStartupArgumentsTest : public testing::TestWithParam<StartupCase> {};

TEST_P(ReadStartupArgumentsTest, TellsListFileFromEntries) {
  const StartupCase& c = GetParam();
  const StartupArguments arguments = ReadStartupArguments(c.commandLine);
  EXPECT_EQ(arguments.kind, c.kind);
  EXPECT_EQ(arguments.items, c.items);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadStartupArgumentsTest,
    testing::Values(
        StartupCase{"Nothing", "", Kind::None, {}},
        StartupCase{"ProgramOnly", "\"C:\\q q\\quillet.exe\"  ", Kind::None, {}},
        StartupCase{"OnlyEmptyQuotes", "quillet.exe \"\"", Kind::None, {}},
        StartupCase{"OneListFile", "q \"C:\\a b\\list.qlst\"", Kind::ListFile, {"C:\\a b\\list.qlst"}},
        StartupCase{"ListFileExtensionInCapitals", "q C:\\L.QLST", Kind::ListFile, {"C:\\L.QLST"}},
        StartupCase{"ListFileBehindEmptyQuotes", "q \"\" x.Qlst", Kind::ListFile, {"x.Qlst"}},
        StartupCase{"OneTextFileIsAnEntry", "q C:\\list.txt", Kind::Entries, {"C:\\list.txt"}},
        StartupCase{"OneBatchFileIsAnEntry", "q C:\\run.bat", Kind::Entries, {"C:\\run.bat"}},
        StartupCase{"NoExtension", "q http://example.com/", Kind::Entries, {"http://example.com/"}},
        StartupCase{"DotInAFolderNameOnly", "q C:\\a.qlst\\b", Kind::Entries, {"C:\\a.qlst\\b"}},
        StartupCase{"LongerExtension", "q a.qlstx", Kind::Entries, {"a.qlstx"}},
        StartupCase{"TwoListFilesAreEntries", "q a.qlst \"b c.qlst\"", Kind::Entries, {"a.qlst", "b c.qlst"}},
        StartupCase{"ManyInOrder", "q 3 1 2", Kind::Entries, {"3", "1", "2"}}),
    [](const testing::TestParamInfo<StartupCase>& p) { return p.param.name; });

}  // namespace
}  // namespace quillet
