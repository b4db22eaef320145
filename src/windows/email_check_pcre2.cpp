// The e-mail check with PCRE2, as the pattern was first written for.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>

#include "windows/email_check.h"

namespace quillet {
namespace {

constexpr char kPattern[] = "^[a-zA-Z0-9_.+-]+@[a-zA-Z0-9-]+\\.[a-zA-Z0-9-.]*[a-zA-Z0-9]+$";

struct CodeDeleter {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};

// Compiled once; a compiled pattern may be shared by threads, its match data may not.
const pcre2_code* Pattern() {
  static const std::unique_ptr<pcre2_code, CodeDeleter> code([] {
    int error = 0;
    PCRE2_SIZE offset = 0;
    // "$" only at the very end, as in the Windows build: a line break before the end of the
    // text is not an address.
    return pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kPattern), PCRE2_ZERO_TERMINATED, PCRE2_DOLLAR_ENDONLY,
                         &error, &offset, nullptr);
  }());
  return code.get();
}

}  // namespace

bool IsValidEmailAddress(std::string_view text) {
  const pcre2_code* pattern = Pattern();
  if (!pattern) return false;
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> match(
      pcre2_match_data_create_from_pattern(pattern, nullptr), &pcre2_match_data_free);
  if (!match) return false;
  const int found = pcre2_match(pattern, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, PCRE2_NOTEMPTY,
                                match.get(), nullptr);
  return found > 0;
}

}  // namespace quillet
