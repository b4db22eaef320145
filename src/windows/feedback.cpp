#include "windows/feedback.h"

namespace quillet {

void ShowFeedbackForm(const FeedbackFormArgs&) {}

}  // namespace quillet
