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

TEST(LogOnTest, ToggleWritesThePathThenDeletesIt) {
  test::FakeRegistryValues run;
  run.values["Other program"] = "C:\\other.exe";

  EXPECT_TRUE(ToggleLogOn(run, kCaption, kProgram, false));
  // A path with blanks is quoted, or Windows would try C:\Program.exe first; no arguments.
  EXPECT_EQ(run.values[kCaption], "\"" + kProgram + "\"");
  EXPECT_TRUE(LogOnValuePresent(run, kCaption));

  EXPECT_FALSE(ToggleLogOn(run, kCaption, kProgram, true));
  EXPECT_EQ(run.values.count(kCaption), 0u);
  // Unchecking with the value already gone is no failure.
  EXPECT_FALSE(ToggleLogOn(run, kCaption, kProgram, true));
  EXPECT_EQ(run.values, (std::map<std::string, std::string>{{"Other program", "C:\\other.exe"}}));
}

TEST(LogOnTest, OnlyAPathWithABlankIsQuoted) {
  const struct {
    const char* path;
    const char* command;
  } cases[] = {
      {"C:\\Tools\\quillet.exe", "C:\\Tools\\quillet.exe"},
      {"C:\\Program Files\\KALMIRO\\Quillet\\quillet.exe", "\"C:\\Program Files\\KALMIRO\\Quillet\\quillet.exe\""},
      {"\\\\server\\my share\\quillet.exe", "\"\\\\server\\my share\\quillet.exe\""},
  };
  for (const auto& c : cases) EXPECT_EQ(LogOnCommand(c.path), c.command) << c.path;
}

TEST(LogOnTest, EitherFormOfAnEarlierValueIsOnAndIsRemoved) {
  for (const std::string& earlier : {kProgram, "\"" + kProgram + "\""}) {
    test::FakeRegistryValues run;
    run.values[kCaption] = earlier;
    EXPECT_TRUE(LogOnValuePresent(run, kCaption)) << earlier;
    EXPECT_FALSE(ToggleLogOn(run, kCaption, kProgram, true));
    EXPECT_EQ(run.values.count(kCaption), 0u) << earlier;
  }
}

TEST(LogOnTest, FailedChangeThrowsAndLeavesTheValue) {
  test::FakeRegistryValues run;
  run.failWrites = true;
  try {
    ToggleLogOn(run, kCaption, kProgram, false);
    ADD_FAILURE() << "no failure";
  } catch (const IoError& error) {
    // The report names what failed and the value, then the system's own text.
    EXPECT_EQ(std::string(error.what()).find("无法设置系统启动时自动运行 (注册表值 \"KALMIRO - Quillet\")."), 0u)
        << error.what();
  }
  EXPECT_FALSE(LogOnValuePresent(run, kCaption));

  run.values[kCaption] = kProgram;
  EXPECT_THROW(ToggleLogOn(run, kCaption, kProgram, true), IoError);
  EXPECT_TRUE(LogOnValuePresent(run, kCaption));
}

}  // namespace
}  // namespace quillet
