// The service requests' logic beyond the table every build passes alike
// (tests/shared/service_cases_test.cpp): the stored format over every seed, the UTF-8 repair,
// the answer lines, the system description, the service address and the download address.
#include "service/service_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/text.h"

namespace quillet {
namespace {

TEST(ServiceRequestTest, StoredFormatRoundTripsEveryTextWithEverySeed) {
  std::vector<std::string> texts = {"", "x", "https://quillet.example.com/download/?v=3.2&lang=zh",
                                    "\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80", std::string(1, '\0') + "nul inside"};
  std::string everyAscii;
  for (int c = 0; c < 128; ++c) everyAscii += static_cast<char>(c);
  texts.push_back(everyAscii);
  texts.push_back(std::string(5000, 'a'));

  for (unsigned seed = 0; seed <= 0xFFFF; seed += 0x0F0F) {
    for (const std::string& text : texts) {
      const std::string stored = EncodeStored(text, static_cast<std::uint16_t>(seed));
      ASSERT_EQ(stored.size(), text.size() * 2);
      ASSERT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos) << stored;
      ASSERT_EQ(DecodeStored(stored, static_cast<std::uint16_t>(seed)), text) << "seed " << seed;
      ASSERT_EQ(DecodeStored(AsciiLower(stored), static_cast<std::uint16_t>(seed)), text) << "seed " << seed;
    }
  }
  // The seed matters: the same text stored with another seed reads differently.
  EXPECT_NE(EncodeStored("https://quillet.example.com/", 0xD3), EncodeStored("https://quillet.example.com/", 0xD4));
}

TEST(ServiceRequestTest, ValidUtf8ReplacesEveryStrayByte) {
  const std::string replacement = "\xEF\xBF\xBD";
  struct Case {
    std::string bytes, text;
  };
  const Case cases[] = {
      {"", ""},
      {"plain \xE4\xB8\xAD \xF0\x9F\x98\x80", "plain \xE4\xB8\xAD \xF0\x9F\x98\x80"},
      {"a\xFF" "b", "a" + replacement + "b"},
      {"\xE4\xB8", replacement + replacement},                              // cut short
      {"\xC0\xAF", replacement + replacement},                              // overlong
      {"\xED\xA0\x80x", replacement + replacement + replacement + "x"},    // a surrogate's form
      {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},  // above U+10FFFF
      {"\xE4\xB8\xE4\xB8\xAD", replacement + replacement + "\xE4\xB8\xAD"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ValidUtf8(c.bytes), c.text) << c.bytes;
  }
}

TEST(ServiceRequestTest, AnswerLinesBreakAtEveryLineEnd) {
  EXPECT_EQ(AnswerLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(AnswerLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(AnswerLines("\n\r"), (std::vector<std::string>{"", ""}));
  EXPECT_TRUE(AnswerLines("").empty());
}

TEST(ServiceRequestTest, OsDescriptionNamesTheServicePackOnlyWhenThereIsOne) {
  EXPECT_EQ(OsDescriptionText("Windows 10", 10, 0, 19045, 0, true),
            "Windows 10 (Version 10.0, Build 19045, 64-bit Edition)");
  EXPECT_EQ(OsDescriptionText("Windows 7", 6, 1, 7601, 1, false),
            "Windows 7 Service Pack 1 (Version 6.1, Build 7601, 32-bit Edition)");
}

TEST(ServiceRequestTest, ServiceAddressFromTheEnvironmentOnlyWhenGiven) {
  EXPECT_EQ(ServiceAddressFrom(nullptr, "quillet.example.com/service/"), "quillet.example.com/service/");
  EXPECT_EQ(ServiceAddressFrom("", "quillet.example.com/service/"), "quillet.example.com/service/");
  EXPECT_EQ(ServiceAddressFrom("127.0.0.1:8443/check", "quillet.example.com/service/"), "127.0.0.1:8443/check");
}

TEST(ServiceRequestTest, OnlyWebAddressesAreOpened) {
  const std::string fallback = "https://quillet.example.com/download/";
  struct Case {
    std::string address;
    bool opened;
  };
  const Case cases[] = {
      {"https://quillet.example.com/get/3.2", true},
      {"http://quillet.example.com/get", true},
      {"HTTPS://QUILLET.EXAMPLE.COM/", true},
      {"hTtP://x", true},
      {"", false},
      {"C:\\Windows\\System32\\calc.exe", false},
      {"calc.exe", false},
      {"file:///C:/Windows/System32/calc.exe", false},
      {"\\\\server\\share\\setup.exe", false},
      {"javascript:alert(1)", false},
      {"ftp://quillet.example.com/", false},
      {"httpx://quillet.example.com/", false},
      {"http:/quillet.example.com/", false},
      {" https://quillet.example.com/", false},
      {"https://quillet.example.com/\" --load-extension=C:\\evil", false},
      {"https://quillet.example.com/\r\n", false},
      {"https://quillet.example.com/a\x7F" "b", false},  // DEL is a control character too
      {"https://quillet.example.com/a\x1F" "b", false},
      {"https://quillet.example.com/a~b", true},          // the last printable character is fine
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OpenableDownloadAddress(c.address, fallback), c.opened ? c.address : fallback) << c.address;
  }
}

}  // namespace
}  // namespace quillet
