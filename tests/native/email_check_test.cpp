// The e-mail check of the native build (PCRE2) over the table every build passes.
#include <gtest/gtest.h>

#include "../shared/email_cases.h"
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
