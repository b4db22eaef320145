// The e-mail check with the standard library's ECMAScript engine, for the Windows build.
#include <regex>

#include "windows/email_check.h"

namespace quillet {

bool IsValidEmailAddress(std::string_view text) {
  // The same pattern as the PCRE2 build; the hyphen of the last class is escaped because
  // ECMAScript reads "9-." as the start of a range where PCRE reads a plain "-". ECMAScript's
  // "$" matches only at the very end, as PCRE2_DOLLAR_ENDONLY does there.
  static const std::regex pattern(R"(^[a-zA-Z0-9_.+\-]+@[a-zA-Z0-9\-]+\.[a-zA-Z0-9\-.]*[a-zA-Z0-9]+$)",
                                  std::regex::ECMAScript);
  return std::regex_search(text.begin(), text.end(), pattern, std::regex_constants::match_not_null);
}

}  // namespace quillet
