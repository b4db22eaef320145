#include "util/maker_addresses.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(HelpPageAddress, JoinsTheLowerCasedWordsOfTheProductWithDashes) {
  const std::string base(kHelpBaseAddress);
  EXPECT_EQ(HelpPageAddress("Quillet"), base + "quillet/");
  EXPECT_EQ(HelpPageAddress("Quillet List Opener"), base + "quillet-list-opener/");
  EXPECT_EQ(HelpPageAddress("A  B"), base + "a--b/");
  EXPECT_EQ(HelpPageAddress(""), base + "/");
}

}  // namespace
}  // namespace quillet
