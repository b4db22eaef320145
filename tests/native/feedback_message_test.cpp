// The feedback window's rules without the window: the feedback text, the checks before a send,
// the request's fields, the two-scheme post and the reading of the answer.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "windows/feedback_message.h"

namespace quillet {
namespace {

const std::string kLiked = "\xE6\x88\x91\xE5\x96\x9C\xE6\xAC\xA2\xE5\xAE\x83!";  // 我喜欢它!
const std::string kDisliked = "\xE6\x88\x91\xE4\xB8\x8D\xE5\x96\x9C\xE6\xAC\xA2\xE5\xAE\x83!";  // 我不喜欢它!
const std::string kReceived = "\xE7\xA1\xAE\xE5\xAE\x9A";  // 确定

TEST(FeedbackText, ChoiceLineThenTheTrimmedMemo) {
  struct Case {
    FeedbackChoice choice;
    std::string memo, text;
  } cases[] = {
      {FeedbackChoice::kLiked, "", kLiked + "\r"},
      {FeedbackChoice::kDisliked, "", kDisliked + "\r"},
      {FeedbackChoice::kLiked, "Great tool", kLiked + "\rGreat tool"},
      {FeedbackChoice::kNone, "  \r\n\tGreat\r\ntool \r\n\r\n", "Great\r\ntool"},
      {FeedbackChoice::kDisliked, "\r\nline one\r\n\r\nline three\r\n", kDisliked + "\rline one\r\n\r\nline three"},
      {FeedbackChoice::kNone, " \t\r\n \x01\x1f ", ""},
      // Characters above 32 are kept at the ends, non-ASCII text included.
      {FeedbackChoice::kNone, "\xE4\xB8\xAD\xE6\x96\x87 ", "\xE4\xB8\xAD\xE6\x96\x87"},
      {FeedbackChoice::kNone, "\x7f", "\x7f"},
  };
  for (const Case& c : cases) EXPECT_EQ(FeedbackText(c.choice, c.memo), c.text) << "memo '" << c.memo << "'";
  EXPECT_EQ(std::string(kLikedText), kLiked);
  EXPECT_EQ(std::string(kDislikedText), kDisliked);
}

TEST(PrepareFeedback, BuildsTheFieldsInOrderWithEmailOnlyWhenGiven) {
  PreparedFeedback prepared = PrepareFeedback(FeedbackChoice::kLiked, "", "", "KALMIRO - Quillet", "3.1");
  ASSERT_EQ(prepared.problem, FeedbackProblem::kNone);
  EXPECT_EQ(prepared.request, (ParameterList{"cmd=feedback", "appname=KALMIRO - Quillet", "version=3.1",
                                             "feedback=" + kLiked + "\r"}));

  // Blanks around the address go; the memo keeps its inner line breaks inside its one field.
  prepared = PrepareFeedback(FeedbackChoice::kNone, "a\r\nb", "  me@example.com \t", "KALMIRO - Quillet", "3.1");
  ASSERT_EQ(prepared.problem, FeedbackProblem::kNone);
  EXPECT_EQ(prepared.request, (ParameterList{"cmd=feedback", "appname=KALMIRO - Quillet", "version=3.1",
                                             "feedback=a\r\nb", "email=me@example.com"}));

  // An address of blanks only is no address: no check, no field.
  prepared = PrepareFeedback(FeedbackChoice::kDisliked, "x", " \t ", "KALMIRO - Quillet", "3.1");
  ASSERT_EQ(prepared.problem, FeedbackProblem::kNone);
  EXPECT_EQ(prepared.request.size(), 4u);
}

TEST(PrepareFeedback, NothingToSendComesBeforeTheAddressCheck) {
  struct Case {
    FeedbackChoice choice;
    std::string memo, email;
    FeedbackProblem problem;
  } cases[] = {
      {FeedbackChoice::kNone, "", "", FeedbackProblem::kNothingToSend},
      {FeedbackChoice::kNone, " \r\n \r\n", "not an address", FeedbackProblem::kNothingToSend},
      {FeedbackChoice::kLiked, "", "not an address", FeedbackProblem::kInvalidEmail},
      {FeedbackChoice::kNone, "text", "user@localhost", FeedbackProblem::kInvalidEmail},
      {FeedbackChoice::kNone, "text", "user@example.com.", FeedbackProblem::kInvalidEmail},
      {FeedbackChoice::kNone, "text", "@example.com", FeedbackProblem::kInvalidEmail},
      {FeedbackChoice::kNone, "text", "\xE7\x94\xA8@example.com", FeedbackProblem::kInvalidEmail},
  };
  for (const Case& c : cases) {
    const PreparedFeedback prepared = PrepareFeedback(c.choice, c.memo, c.email, "KALMIRO - Quillet", "3.1");
    EXPECT_EQ(prepared.problem, c.problem) << "memo '" << c.memo << "' email '" << c.email << "'";
    EXPECT_TRUE(prepared.request.empty());
  }
}

TEST(IsFeedbackReceived, OnlyTheWordReceivedWithBlanksAroundIt) {
  const struct {
    std::string answer;
    bool received;
  } cases[] = {
      {kReceived, true},
      {"  " + kReceived + "\r\n", true},
      {"\n\n" + kReceived + "\n", true},
      {"\t" + kReceived + " \r", true},
      {"", false},
      {"OK", false},
      {kReceived + "!", false},
      {kReceived + "\r\n" + kReceived, false},
      {"<result>" + kReceived + "</result>", false},
      {"ERROR " + kReceived, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsFeedbackReceived(c.answer), c.received) << "'" << c.answer << "'";
}

// Answers each address from a script: a text, or nullopt for a failed exchange.
class ScriptedTransport : public Transport {
 public:
  std::optional<std::string> secure, plain;
  std::vector<std::string> addresses;
  std::vector<ParameterList> bodies;

  std::string Post(const std::string& address, const ParameterList& parameters) override {
    addresses.push_back(address);
    bodies.push_back(parameters);
    const std::optional<std::string>& answer = address.starts_with("https://") ? secure : plain;
    if (!answer) throw ServiceError("connection refused");
    return *answer;
  }
};

TEST(SendFeedback, SecureFirstThenPlainOnlyWhenTheSecurePostFails) {
  const ParameterList request{"cmd=feedback", "appname=KALMIRO - Quillet", "version=3.1", "feedback=x"};
  const struct {
    const char* what;
    std::optional<std::string> secure, plain;
    bool sent;
    std::size_t posts;
  } cases[] = {
      {"secure answers", kReceived, std::nullopt, true, 1},
      {"secure fails, plain answers", std::nullopt, kReceived + "\r\n", true, 2},
      {"both fail", std::nullopt, std::nullopt, false, 2},
      // An answer is an answer: a wrong one over the secure scheme is not retried in plain.
      {"secure answers wrongly", std::string("ERROR"), kReceived, false, 1},
      {"plain answers empty", std::nullopt, std::string(), false, 2},
  };
  for (const auto& c : cases) {
    ScriptedTransport network;
    network.secure = c.secure;
    network.plain = c.plain;
    EXPECT_EQ(SendFeedback(network, "host.example/service/feedback", request), c.sent) << c.what;
    ASSERT_EQ(network.addresses.size(), c.posts) << c.what;
    EXPECT_EQ(network.addresses[0], "https://host.example/service/feedback") << c.what;
    if (c.posts == 2) {
      EXPECT_EQ(network.addresses[1], "http://host.example/service/feedback") << c.what;
    }
    for (const ParameterList& body : network.bodies) EXPECT_EQ(body, request) << c.what;
  }
}

}  // namespace
}  // namespace quillet
