#include "util/text.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

struct Utf16Case {
  const char* name;
  std::wstring utf16;
  std::string utf8;
};

class NarrowWidenTest : public testing::TestWithParam<Utf16Case> {};

TEST_P(NarrowWidenTest, NarrowGivesTheBytesAndWidenTakesThemBack) {
  const Utf16Case& c = GetParam();
  EXPECT_EQ(Narrow(c.utf16), c.utf8);
  EXPECT_EQ(Widen(c.utf8), c.utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NarrowWidenTest,
    testing::Values(
        Utf16Case{"Empty", L"", ""},
        Utf16Case{"Ascii", L"C:\\a b.txt", "C:\\a b.txt"},
        Utf16Case{"Chinese", {0x5168, 0x9009}, "\xE5\x85\xA8\xE9\x80\x89"},
        Utf16Case{"SurrogatePair", {L'a', 0xD83D, 0xDE00, L'b'}, "a\xF0\x9F\x98\x80" "b"},
        // Unpaired surrogates keep their three-byte generalized form.
        Utf16Case{"LoneHighSurrogate", {L'a', 0xD83D, L'b'}, "a\xED\xA0\xBD" "b"},
        Utf16Case{"LoneLowSurrogate", {0xDE00}, "\xED\xB8\x80"},
        Utf16Case{"HighSurrogateAtEnd", {L'x', 0xD800}, "x\xED\xA0\x80"},
        Utf16Case{"ReversedPair", {0xDE00, 0xD83D}, "\xED\xB8\x80\xED\xA0\xBD"}),
    [](const testing::TestParamInfo<Utf16Case>& p) { return p.param.name; });

struct InvalidBytesCase {
  const char* name;
  std::string utf8;
  std::wstring utf16;
};

class WidenInvalidTest : public testing::TestWithParam<InvalidBytesCase> {};

TEST_P(WidenInvalidTest, EveryStrayByteBecomesOneReplacementCharacter) {
  EXPECT_EQ(Widen(GetParam().utf8), GetParam().utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, WidenInvalidTest,
    testing::Values(InvalidBytesCase{"Latin1Byte", "a\xE9" "b", {L'a', 0xFFFD, L'b'}},
                    InvalidBytesCase{"Overlong", "\xC0\xAF", {0xFFFD, 0xFFFD}},
                    InvalidBytesCase{"Truncated", "\xE4\xB8", {0xFFFD, 0xFFFD}},
                    InvalidBytesCase{"AboveUnicode", "\xF4\x90\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
                    InvalidBytesCase{"LoneContinuation", "\x80" "a", {0xFFFD, L'a'}}),
    [](const testing::TestParamInfo<InvalidBytesCase>& p) { return p.param.name; });

struct Utf8Case {
  const char* name;
  std::string bytes;
  bool valid;
};

class IsValidUtf8Test : public testing::TestWithParam<Utf8Case> {};

TEST_P(IsValidUtf8Test, AcceptsOnlyStrictUtf8) { EXPECT_EQ(IsValidUtf8(GetParam().bytes), GetParam().valid); }

INSTANTIATE_TEST_SUITE_P(
    Bytes, IsValidUtf8Test,
    testing::Values(Utf8Case{"Empty", "", true}, Utf8Case{"Ascii", "[Settings]\r\nWait=5\r\n", true},
                    Utf8Case{"ByteOrderMark", "\xEF\xBB\xBF[Settings]", true},
                    Utf8Case{"Chinese", "\xE5\x85\xA8\xE9\x80\x89", true},
                    Utf8Case{"FourBytes", "\xF0\x9F\x98\x80", true},
                    Utf8Case{"HighestCodePoint", "\xF4\x8F\xBF\xBF", true},
                    Utf8Case{"Gbk", "C:\\\xB2\xE2\xCA\xD4", false},
                    Utf8Case{"Latin1", "caf\xE9", false},
                    Utf8Case{"OverlongSlash", "\xC0\xAF", false},
                    Utf8Case{"OverlongThreeBytes", "\xE0\x80\xAF", false},
                    Utf8Case{"OverlongFourBytes", "\xF0\x80\x80\xAF", false},
                    Utf8Case{"EncodedSurrogate", "\xED\xA0\x80", false},
                    Utf8Case{"AboveUnicode", "\xF4\x90\x80\x80", false},
                    Utf8Case{"TruncatedAtEnd", "ab\xE5\x85", false},
                    Utf8Case{"LoneContinuation", "\xBF", false},
                    Utf8Case{"InvalidLead", "\xFF", false}),
    [](const testing::TestParamInfo<Utf8Case>& p) { return p.param.name; });

TEST(SplitLinesTest, BreaksAtCrLfLfAndCrWithoutATrailingEmptyLine) {
  using Lines = std::vector<std::string_view>;
  const std::vector<std::pair<std::string, Lines>> cases = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},
      {"\r\n", {""}},
      {"\n\n", {"", ""}},
      {"a\r\r\n", {"a", ""}},
      {"\n\r", {"", ""}},
      {" a \r\n", {" a "}},
  };
  for (const auto& [text, lines] : cases) EXPECT_EQ(SplitLines(text), lines) << testing::PrintToString(text);
}

TEST(TrimTest, BlanksAreSpacesOnlyWhileTheOtherTrimTakesControlCharactersToo) {
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks(" \ta\r "), "\ta\r");
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimBlanks(""), "");
  EXPECT_EQ(TrimControlAndBlanks(" \t\x01" "a b\r\n "), "a b");
  EXPECT_EQ(TrimControlAndBlanks("\t\r\n"), "");
  // Bytes of multi-byte characters are above 0x20 and stay.
  EXPECT_EQ(TrimControlAndBlanks(" \xE5\x85\xA8 "), "\xE5\x85\xA8");
}

TEST(AsciiCaseTest, OnlyAsciiLettersFold) {
  EXPECT_EQ(AsciiLower("HtTP://Ex.COM/\xC3\x89"), "http://ex.com/\xC3\x89");
  EXPECT_TRUE(EqualsIgnoreAsciiCase("Settings", "SETTINGS"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("Settings", "Setting"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("\xC3\x89", "\xC3\xA9"));
}

TEST(ParseIntegerTest, TakesAnOptionalSignAndDecimalDigitsThatFitIn64Bits) {
  struct Case {
    const char* text;
    bool ok;
    long long value;
  };
  const Case cases[] = {
      {"0", true, 0},
      {"500", true, 500},
      {"-5", true, -5},
      {"+7", true, 7},
      {"007", true, 7},
      {"9223372036854775807", true, 9223372036854775807LL},
      {"-9223372036854775808", true, -9223372036854775807LL - 1},
      {"9223372036854775808", false, 0},
      {"-9223372036854775809", false, 0},
      {"", false, 0},
      {"+", false, 0},
      {"-", false, 0},
      {"+-1", false, 0},
      {"--1", false, 0},
      {" 1", false, 0},
      {"1 ", false, 0},
      {"0x10", false, 0},
      {"$10", false, 0},
      {"1.5", false, 0},
      {"12a", false, 0},
      {"abc", false, 0},
  };
  for (const Case& c : cases) {
    long long value = -1234;
    EXPECT_EQ(ParseInteger(c.text, value), c.ok) << c.text;
    EXPECT_EQ(value, c.ok ? c.value : -1234) << c.text;
  }
}

// A program that reads its command line the Windows way takes 2n backslashes before a quote
// as n backslashes and the quote as the end of the argument.
TEST(QuoteArgumentTest, DoublesOnlyTheBackslashesBeforeTheClosingQuote) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\windows\\", "\"C:\\windows\\\\\""},
      {"\\\\srv\\share\\\\", "\"\\\\srv\\share\\\\\\\\\""},
      {"C:\\a\\b c.txt", "\"C:\\a\\b c.txt\""},
      {"C:\\a\\ ", "\"C:\\a\\ \""},  // a blank after the backslash: nothing to double
      {"\\", "\"\\\\\""},
      {"", "\"\""},
      {"say \"hi\"", "\"say \"hi\"\""},  // inner quotes are left to the caller
  };
  for (const auto& [text, quoted] : cases) EXPECT_EQ(QuoteArgument(text), quoted) << text;
}

TEST(ErrorReportTextTest, AppendsAFullStopAfterCharactersAboveIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"Access is denied", "Access is denied."},
      {"Done.", "Done."},
      {"Disk full!", "Disk full!"},        // '!' is below '.'
      {"a-", "a-"},                        // '-' is just below '.'
      {"a/", "a/."},                       // '/' is just above '.'
      {"\xE6\x8B\x92\xE7\xBB\x9D", "\xE6\x8B\x92\xE7\xBB\x9D."},
      {"", ""},
  };
  for (const auto& [message, text] : cases) EXPECT_EQ(ErrorReportText(message), text) << message;
}

}  // namespace
}  // namespace quillet
