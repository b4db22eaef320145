// The feedback window's check of the e-mail address a user leaves for a reply. The native build
// matches with PCRE2, the Windows build with std::regex; both pass one shared table of
// addresses, so the two builds accept exactly the same texts.
#pragma once

#include <string_view>

namespace quillet {

// True when text is an address of the form local@label.rest: a local part of ASCII letters,
// digits and "_.+-", "@", a first domain label of letters, digits and "-", then a dot and a
// run of letters, digits, "-" and "." that ends in a letter or digit. The whole text must
// match (the caller trims it first); case-sensitive pattern, ASCII only.
bool IsValidEmailAddress(std::string_view text);

}  // namespace quillet
