// The e-mail check over the table every build passes: compiled into the native tests (PCRE2),
// a native program of its own (std::regex) and the Windows tests (std::regex).
#include <gtest/gtest.h>

#include "email_cases.h"
#include "windows/email_check.h"

namespace quillet {
namespace {

TEST(EmailCheck, AcceptsAndRefusesTheSharedTable) {
  for (const auto& c : test::email_cases::kEmailCases) {
    EXPECT_EQ(IsValidEmailAddress(c.address), c.valid) << "'" << c.address << "'";
  }
}

}  // namespace
}  // namespace quillet
