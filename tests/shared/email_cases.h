// Addresses the feedback window's e-mail check must accept or refuse alike in every build: the
// native tests run them against PCRE2 and against std::regex, the Windows tests against
// std::regex. Non-ASCII text is written as UTF-8 escapes so every compiler reads the same bytes.
#pragma once

#include <vector>

namespace quillet::test::email_cases {

struct EmailCase {
  const char* address;
  bool valid;
};

inline const std::vector<EmailCase> kEmailCases = {
    // Accepted.
    {"user@example.com", true},
    {"a@b.c", true},
    {"first.last+tag@mail-host.example.org", true},
    {"under_score-dash@x-y.z1", true},
    {"UPPER@EXAMPLE.COM", true},
    {"1234@567.89", true},
    {".dot.first.@example.com", true},  // the local part may begin and end with a dot
    {"a@b..c", true},                   // dots may follow each other after the first one
    {"a@b.c-d.e", true},
    // Refused: the domain has no dot after its first label.
    {"user@localhost", false},
    {"user@.com", false},
    // Refused: the end is not a letter or digit.
    {"user@example.com.", false},
    {"user@example.com-", false},
    {"user@example.", false},
    // Refused: letters outside ASCII, in either part.
    {"\xE7\x94\xA8\xE6\x88\xB7@example.com", false},
    {"user@\xE4\xBE\x8B\xE5\xAD\x90.com", false},
    {"j\xC3\xBCrgen@example.com", false},
    // Refused: no local part, no "@", two "@", signs outside the classes.
    {"@example.com", false},
    {"user.example.com", false},
    {"a@b@example.com", false},
    {"user@exa_mple.com", false},
    {"us er@example.com", false},
    {"user@example.c_m", false},
    {"user!@example.com", false},
    {"\"quoted\"@example.com", false},
    // Refused: the whole text must match, and it is never trimmed here.
    {" user@example.com", false},
    {"user@example.com ", false},
    {"user@example.com\n", false},
    {"user@example.com\nmore", false},
    {"", false},
};

}  // namespace quillet::test::email_cases
