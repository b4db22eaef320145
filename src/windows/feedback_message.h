// What the feedback window sends: the feedback text built from the choice and the memo, the
// request's fields, and the reading of the service's answer. Free of the window so every rule
// is tested natively.
#pragma once

#include <string>
#include <string_view>

#include "service/transport.h"

namespace quillet {

enum class FeedbackChoice { kNone, kLiked, kDisliked };

// The captions of the two choice panels, which also open the feedback text.
inline constexpr std::string_view kLikedText = "我喜欢它!";
inline constexpr std::string_view kDislikedText = "我不喜欢它!";

// The feedback value: the choice's caption and one carriage return (no line feed) when a
// choice is made, then the memo without its leading and trailing characters of code 32 or
// less. Line breaks inside the memo stay as they are (CR LF from the edit box).
std::string FeedbackText(FeedbackChoice choice, std::string_view memo);

enum class FeedbackProblem {
  kNone,           // ready to send
  kNothingToSend,  // no choice and a blank memo: a beep, nothing else
  kInvalidEmail,   // "无效的邮件地址!", nothing sent
};

struct PreparedFeedback {
  FeedbackProblem problem = FeedbackProblem::kNone;
  ParameterList request;  // set only when problem is kNone
};

// Checks what the user entered and builds the request: "cmd=feedback", "appname=" +
// appCaption, "version=" + version, "feedback=" + the feedback text, and "email=" + the
// trimmed address only when it is not blank.
PreparedFeedback PrepareFeedback(FeedbackChoice choice, std::string_view memo, std::string_view email,
                                 const std::string& appCaption, const std::string& version);

// True when the service's answer, its lines joined with CR LF and trimmed like the memo, is
// exactly "确定".
bool IsFeedbackReceived(std::string_view answer);

// Posts the request to "https://" + feedbackAddress and, when that fails, once more to
// "http://" + feedbackAddress. True only when an answer arrived and says the feedback was
// received. Never throws; no detail of a failure is kept.
bool SendFeedback(Transport& network, const std::string& feedbackAddress, const ParameterList& request);

}  // namespace quillet
