// The system's ANSI code page as the list files read text without a byte-order mark.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32_system.h"
#include "util/text.h"

namespace quillet {
namespace {

TEST(Win32AnsiDecoderTest, AsciiComesThroughUnchanged) {
  const Win32AnsiDecoder ansi;
  EXPECT_EQ(ansi.ToUtf8(""), "");
  EXPECT_EQ(ansi.ToUtf8("C:\\a b.txt\r\nhttps://example.com/\r"), "C:\\a b.txt\r\nhttps://example.com/\r");
}

TEST(Win32AnsiDecoderTest, EveryByteGivesValidUtf8) {
  std::string bytes;
  for (int byte = 1; byte < 256; ++byte) bytes.push_back(static_cast<char>(byte));
  EXPECT_TRUE(IsValidUtf8(Win32AnsiDecoder().ToUtf8(bytes)));
}

TEST(Win32AnsiDecoderTest, WesternCodePageCharacters) {
  if (GetACP() != 1252) GTEST_SKIP() << "the system's ANSI code page is " << GetACP() << ", not 1252";
  const Win32AnsiDecoder ansi;
  const struct {
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"caf\xE9", "caf\xC3\xA9"},           // é
      {"\x80 5", "\xE2\x82\xAC 5"},         // €, one of the code page's own characters 0x80-0x9F
      {"na\xEFve\r\n\xFF", "na\xC3\xAFve\r\n\xC3\xBF"},  // ï, ÿ
  };
  for (const auto& c : cases) EXPECT_EQ(ansi.ToUtf8(c.bytes), c.utf8) << c.bytes;
}

}  // namespace
}  // namespace quillet
