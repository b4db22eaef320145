// The feedback window TFeedbackForm: a liked / disliked choice, a free text and an optional
// e-mail address, sent to the maker's web service in one request.
#pragma once

#include <windows.h>

#include <string>

#include "service/transport.h"

namespace quillet {

struct FeedbackFormArgs {
  HWND owner = nullptr;     // the main window, disabled while the window is open
  std::string appProduct;   // AppProduct, for the caption
  std::string appCaption;   // AppCaption, sent as "appname"
  std::string appVersion;   // AppVersion, sent as "version"
  std::string feedbackAddress;  // host and path of the feedback endpoint, no scheme
  Transport* network = nullptr;  // the posts go here; nullptr: WinHTTP
};

// Creates a fresh window, shows it modally and returns when it has closed (and is destroyed).
void ShowFeedbackForm(const FeedbackFormArgs& args);

}  // namespace quillet
