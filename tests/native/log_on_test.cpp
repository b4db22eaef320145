#include "store/log_on.h"

#include <gtest/gtest.h>

#include "fake_registry.h"

namespace quillet {
namespace {

const std::string kCaption = "KALMIRO - Quillet";
const std::string kProgram = "C:\\Program Files\\Quillet \xE5\xB7\xA5\xE5\x85\xB7\\quillet.exe";

TEST(LogOnTest, PresentWhenTheValueHoldsAnyText) {
  test::FakeRegistryValues run;
  EXPECT_FALSE(LogOnValuePresent(run, kCaption));
  run.values[kCaption] = "";
  EXPECT_FALSE(LogOnValuePresent(run, kCaption));
  // Another copy of the program, somewhere else: still on.
  run.values[kCaption] = "D:\\old\\quillet.exe";
  EXPECT_TRUE(LogOnValuePresent(run, kCaption));
  EXPECT_FALSE(LogOnValuePresent(run, "KALMIRO - Other"));
}

TEST(LogOnTest, ToggleWritesThePlainPathThenDeletesIt) {
  test::FakeRegistryValues run;
  run.values["Other program"] = "C:\\other.exe";

  EXPECT_TRUE(ToggleLogOn(run, kCaption, kProgram, false));
  EXPECT_EQ(run.values[kCaption], kProgram);  // no quotes, no arguments
  EXPECT_TRUE(LogOnValuePresent(run, kCaption));

  EXPECT_FALSE(ToggleLogOn(run, kCaption, kProgram, true));
  EXPECT_EQ(run.values.count(kCaption), 0u);
  // Unchecking with the value already gone is no failure.
  EXPECT_FALSE(ToggleLogOn(run, kCaption, kProgram, true));
  EXPECT_EQ(run.values, (std::map<std::string, std::string>{{"Other program", "C:\\other.exe"}}));
}

TEST(LogOnTest, FailedChangeThrowsAndLeavesTheValue) {
  test::FakeRegistryValues run;
  run.failWrites = true;
  EXPECT_THROW(ToggleLogOn(run, kCaption, kProgram, false), IoError);
  EXPECT_FALSE(LogOnValuePresent(run, kCaption));

  run.values[kCaption] = kProgram;
  EXPECT_THROW(ToggleLogOn(run, kCaption, kProgram, true), IoError);
  EXPECT_TRUE(LogOnValuePresent(run, kCaption));
}

}  // namespace
}  // namespace quillet
