// The Help menu's own windows: feedback to the maker and the about window, both modal and
// shown inside the stay-on-top bracket so a topmost main window never hides them.
#include "app/app_form.h"
#include "platform/win32/win32_system.h"
#include "service/service_request.h"
#include "util/maker_addresses.h"
#include "windows/about.h"
#include "windows/feedback.h"

namespace quillet {

void TAppForm::SendFeedback1Click() {
  FeedbackFormArgs form;
  form.owner = Handle();
  form.appProduct = values_.product;
  form.appCaption = values_.caption;
  form.appVersion = values_.version;
  const std::string override = EnvironmentVariable("QUILLET_FEEDBACK_ADDRESS");
  form.feedbackAddress = ServiceAddressFrom(override.c_str(), kFeedbackAddress);
  WithStayOnTopBracket([&] { ShowFeedbackForm(form); });
}

void TAppForm::About1Click() {
  AboutBoxArgs about;
  about.owner = Handle();
  about.appProduct = values_.product;
  about.appVersion = values_.version;
  about.programFile = args_.programFile;
  WithStayOnTopBracket([&] { ShowAboutBox(about); });
}

}  // namespace quillet
