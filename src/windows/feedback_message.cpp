#include "windows/feedback_message.h"

#include "service/service_request.h"
#include "util/text.h"
#include "windows/email_check.h"

namespace quillet {

std::string FeedbackText(FeedbackChoice choice, std::string_view memo) {
  std::string text;
  if (choice == FeedbackChoice::kLiked) text.append(kLikedText).push_back('\r');
  if (choice == FeedbackChoice::kDisliked) text.append(kDislikedText).push_back('\r');
  text.append(TrimControlAndBlanks(memo));
  return text;
}

PreparedFeedback PrepareFeedback(FeedbackChoice choice, std::string_view memo, std::string_view email,
                                 const std::string& appCaption, const std::string& version) {
  PreparedFeedback prepared;
  const std::string feedback = FeedbackText(choice, memo);
  if (feedback.empty()) {
    prepared.problem = FeedbackProblem::kNothingToSend;
    return prepared;
  }
  const std::string_view address = TrimControlAndBlanks(email);
  if (!address.empty() && !IsValidEmailAddress(address)) {
    prepared.problem = FeedbackProblem::kInvalidEmail;
    return prepared;
  }
  prepared.request = {"cmd=feedback", "appname=" + appCaption, "version=" + version, "feedback=" + feedback};
  if (!address.empty()) prepared.request.push_back("email=" + std::string(address));
  return prepared;
}

bool IsFeedbackReceived(std::string_view answer) {
  std::string joined;
  for (const std::string& line : AnswerLines(answer)) {
    if (!joined.empty()) joined += "\r\n";
    joined += line;
  }
  return TrimControlAndBlanks(joined) == "确定";
}

bool SendFeedback(Transport& network, const std::string& feedbackAddress, const ParameterList& request) {
  // The secure scheme first; a plain answer counts the same. The errors are not shown or kept.
  for (const char* scheme : {"https://", "http://"}) {
    try {
      return IsFeedbackReceived(network.Post(scheme + feedbackAddress, request));
    } catch (const std::exception&) {
    }
  }
  return false;
}

}  // namespace quillet
