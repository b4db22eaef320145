#include <gtest/gtest.h>

#include "protocol.h"

namespace quillet::service {
namespace {

struct FormCase {
  const char* name;
  const char* body;
  std::vector<FormField> fields;
};

class DecodeForm : public ::testing::TestWithParam<FormCase> {};

TEST_P(DecodeForm, GivesTheFieldsInOrder) {
  const auto fields = DecodeFormBody(GetParam().body);
  ASSERT_EQ(fields.size(), GetParam().fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    EXPECT_EQ(fields[i].name, GetParam().fields[i].name) << i;
    EXPECT_EQ(fields[i].value, GetParam().fields[i].value) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeForm,
    ::testing::Values(
        FormCase{"CheckRequest", "cmd=check&appname=KALMIRO+-+Quillet&version=3.1",
                 {{"cmd", "check"}, {"appname", "KALMIRO - Quillet"}, {"version", "3.1"}}},
        FormCase{"ReservedMarksInValues", "feedback=a%26b%3Dc%2Bd+e&x=1",
                 {{"feedback", "a&b=c+d e"}, {"x", "1"}}},
        FormCase{"ChineseUpperAndLowerHex", "feedback=%E6%88%91%e5%96%9c%E6%AC%A2",
                 {{"feedback", "我喜欢"}}},
        FormCase{"OnlyTheFirstEqualsSeparates", "a=b=c", {{"a", "b=c"}}},
        FormCase{"NoEqualsMeansEmptyValue", "flag&x=", {{"flag", ""}, {"x", ""}}},
        FormCase{"EmptyFieldsSkipped", "&&a=1&&b=2&", {{"a", "1"}, {"b", "2"}}},
        FormCase{"BrokenEscapesKept", "a=%zz%4&b=100%", {{"a", "%zz%4"}, {"b", "100%"}}},
        FormCase{"BytesKeptAsSent", "a=%00%FF%0D%0A", {{"a", std::string("\0\xFF\r\n", 4)}}},
        FormCase{"Empty", "", {}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ReadableText, KeepsValidTextAndReplacesEveryOtherByte) {
  const struct {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"check", "check"},
      {"反馈", "反馈"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},                   // four-byte sequence
      {"a\xFF" "b", "a\uFFFD" "b"},                                    // a byte never valid
      {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},                         // an encoded surrogate
      {"\xC0\xAF", "\uFFFD\uFFFD"},                                    // an overlong form
      {"\xE5\x8F", "\uFFFD\uFFFD"},                                    // cut short at the end
      {std::string("ch\0eck", 6), "check"},                            // NUL dropped
  };
  for (const auto& c : cases) EXPECT_EQ(ReadableText(c.bytes), c.text) << c.bytes;
}

ServiceConfig Offer(std::string importantMessage) {
  ServiceConfig config;
  config.offeredVersion = "3.2";
  config.downloadAddress = "https://quillet.example.com/download/";
  config.importantMessage = std::move(importantMessage);
  return config;
}

TEST(CheckAnswer, PutsEachTagOnItsLine) {
  EXPECT_EQ(CheckAnswer(Offer("")),
            "<version>3.2</version>\r\n<url>https://quillet.example.com/download/</url>\r\n\r\n"
            "<result>1</result>\r\n");
  EXPECT_EQ(CheckAnswer(Offer("请在月底前更新")),
            "<version>3.2</version>\r\n<url>https://quillet.example.com/download/</url>\r\n\r\n"
            "<result>1</result>\r\n\r\n<important>请在月底前更新</important>\r\n");
}

}  // namespace
}  // namespace quillet::service
