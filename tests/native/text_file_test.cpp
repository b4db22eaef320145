#include "store/text_file.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_ansi_decoder.h"
#include "util/text.h"

namespace quillet {
namespace {

using namespace std::string_literals;

const std::string kReplacement = "\xEF\xBF\xBD";
const std::string kChinese = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
const std::string kGrinningFace = "\xF0\x9F\x98\x80";     // U+1F600

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::string text;
  bool readInAnsi = false;  // the ANSI code page had to be asked
};

class DecodeTextFileTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTextFileTest, GivesTheTextInUtf8) {
  const DecodeCase& c = GetParam();
  test::Latin1Decoder ansi;
  const std::string text = DecodeTextFile(c.bytes, ansi);
  EXPECT_EQ(text, c.text);
  EXPECT_TRUE(IsValidUtf8(text));
  EXPECT_EQ(ansi.calls > 0, c.readInAnsi);
  // Decoding in the bytes' own buffer gives the same text.
  std::string buffer = c.bytes;
  EXPECT_EQ(DecodeTextFileInPlace(buffer, ansi), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    ByteOrderMarks, DecodeTextFileTest,
    testing::Values(
        DecodeCase{"Empty", "", ""},
        DecodeCase{"Utf8MarkOnly", "\xEF\xBB\xBF", ""},
        DecodeCase{"Utf8", "\xEF\xBB\xBF" "a\r\n" + kChinese + "\r\n", "a\r\n" + kChinese + "\r\n"},
        // A second mark is text, not a mark.
        DecodeCase{"Utf8MarkTwice", "\xEF\xBB\xBF\xEF\xBB\xBF" "a", "\xEF\xBB\xBF" "a"},
        // Every byte that is not part of a valid sequence becomes one U+FFFD.
        DecodeCase{"Utf8StrayByte", "\xEF\xBB\xBF" "a\xFF" "b", "a" + kReplacement + "b"},
        DecodeCase{"Utf8CutSequence", "\xEF\xBB\xBF" "a\xE4\xB8", "a" + kReplacement + kReplacement},
        DecodeCase{"Utf8CutSequenceBeforeAscii", "\xEF\xBB\xBF\xE4\xB8" "abcdefghij",
                   kReplacement + kReplacement + "abcdefghij"},
        DecodeCase{"Utf8Overlong", "\xEF\xBB\xBF\xC0\xAF", kReplacement + kReplacement},
        DecodeCase{"Utf8Surrogate", "\xEF\xBB\xBF\xED\xA0\x80", kReplacement + kReplacement + kReplacement},
        DecodeCase{"Utf8LatinOneByteAmongValid", "\xEF\xBB\xBF" + kChinese + "caf\xE9" + kChinese,
                   kChinese + "caf" + kReplacement + kChinese},
        DecodeCase{"Utf16LittleEndian", "\xFF\xFE" "a\0\r\0\n\0\x2D\x4E\x87\x65"s, "a\r\n" + kChinese},
        DecodeCase{"Utf16BigEndian", "\xFE\xFF" "\0a\0\r\0\n\x4E\x2D\x65\x87"s, "a\r\n" + kChinese},
        DecodeCase{"Utf16MarkOnly", "\xFF\xFE", ""},
        DecodeCase{"Utf16SurrogatePair", "\xFF\xFE" "\x3D\xD8\x00\xDE" "b\0"s, kGrinningFace + "b"},
        DecodeCase{"Utf16SurrogatePairBigEndian", "\xFE\xFF" "\xD8\x3D\xDE\x00"s, kGrinningFace},
        DecodeCase{"Utf16LoneHighSurrogate", "\xFF\xFE" "\x3D\xD8" "b\0"s, kReplacement + "b"},
        DecodeCase{"Utf16LoneLowSurrogate", "\xFF\xFE" "a\0\x00\xDE"s, "a" + kReplacement},
        DecodeCase{"Utf16HighSurrogateAtEnd", "\xFF\xFE" "a\0\x3D\xD8"s, "a" + kReplacement},
        DecodeCase{"Utf16ReversedPair", "\xFF\xFE" "\x00\xDE\x3D\xD8"s, kReplacement + kReplacement},
        DecodeCase{"Utf16OddLength", "\xFF\xFE" "a\0b"s, "a" + kReplacement},
        DecodeCase{"Utf16OneByteAfterMark", "\xFE\xFF" "b"s, kReplacement},
        DecodeCase{"Utf16NulCharacter", "\xFF\xFE" "a\0\0\0b\0"s, "a\0b"s}),
    [](const testing::TestParamInfo<DecodeCase>& p) { return p.param.name; });

INSTANTIATE_TEST_SUITE_P(
    WithoutMark, DecodeTextFileTest,
    testing::Values(
        // ASCII reads the same in every ANSI code page: no need to ask.
        DecodeCase{"Ascii", "C:\\a.txt\r\nb\rc\n", "C:\\a.txt\r\nb\rc\n"},
        // Valid UTF-8 with characters outside ASCII: a batch file the program exported.
        DecodeCase{"Utf8", "start \"\" \"" + kChinese + "\"\r\n", "start \"\" \"" + kChinese + "\"\r\n"},
        DecodeCase{"Utf8AfterLongAsciiRun", "abcdefghijklmnopq" + kGrinningFace, "abcdefghijklmnopq" + kGrinningFace},
        DecodeCase{"Ansi", "caf\xE9\r\n", "caf\xC3\xA9\r\n", true},
        // One bad byte deep inside a long valid run sends the whole file to the code page.
        DecodeCase{"AnsiByteAfterUtf8", kChinese + "abcdefghijklmnop\xE9",
                   "\xC3\xA4\xC2\xB8\xC2\xAD\xC3\xA6\xC2\x96\xC2\x87" "abcdefghijklmnop\xC3\xA9", true},
        // UTF-16 without a mark is not recognised: its bytes are text in the code page.
        DecodeCase{"Utf16WithoutMark", "a\0b\0"s, "a\0b\0"s},
        DecodeCase{"Utf8EncodedSurrogate", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80", true}),
    [](const testing::TestParamInfo<DecodeCase>& p) { return p.param.name; });

TEST(DecodeLongTextFileTest, Utf8ComesThroughWhole) {
  // Long enough that the fast path over ASCII blocks meets characters at every alignment.
  std::string text;
  for (int k = 0; k < 1000; ++k) text += std::string(static_cast<std::size_t>(k % 11), 'x') + kChinese + "\r\n";
  test::Latin1Decoder ansi;
  EXPECT_EQ(DecodeTextFile(std::string(kUtf8ByteOrderMark) + text, ansi), text);
  EXPECT_EQ(DecodeTextFile(text, ansi), text);
  EXPECT_EQ(ansi.calls, 0);
}

TEST(AppendCrLfLineTest, EndsEveryLineWithCrLf) {
  std::string out = "x";
  AppendCrLfLine(out, "");
  AppendCrLfLine(out, "a b");
  EXPECT_EQ(out, "x\r\na b\r\n");
}

}  // namespace
}  // namespace quillet
