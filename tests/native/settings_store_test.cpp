#include "store/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include "platform/posix/posix_file_system.h"
#include "test_support.h"

namespace quillet {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

constexpr const char* kBom = "\xEF\xBB\xBF";

// The store on a real folder, addressed with Windows separators as the program does.
class SettingsStoreOnDiskTest : public testing::Test {
 protected:
  std::string SettingsDir() const { return temp.path() + "\\"; }
  std::string SettingsFile() const { return temp / "settings.ini"; }
  TempDir temp;
  PosixFileSystem fs;
};

TEST_F(SettingsStoreOnDiskTest, FirstWriteCreatesTheFileAndEveryWriteReplacesIt) {
  SettingsStore store(fs, SettingsDir());
  store.Open();
  EXPECT_EQ(store.Path(), SettingsDir() + "settings.ini");
  EXPECT_FALSE(store.ValueExists("Wait"));
  store.WriteString("OpenWith", "C:\\Windows\\notepad.exe");
  EXPECT_EQ(ReadBytes(SettingsFile()), std::string(kBom) + "[Settings]\r\nOpenWith=C:\\Windows\\notepad.exe\r\n\r\n");
  store.WriteInteger("Wait", 500);
  EXPECT_EQ(ReadBytes(SettingsFile()),
            std::string(kBom) + "[Settings]\r\nOpenWith=C:\\Windows\\notepad.exe\r\nWait=500\r\n\r\n");
  // The replace goes through a temporary file that must not stay behind.
  EXPECT_EQ(test::FolderNames(temp.path()), std::vector<std::string>{"settings.ini"});
}

TEST_F(SettingsStoreOnDiskTest, ReadsWhatAnEarlierRunWrote) {
  WriteBytes(SettingsFile(), std::string(kBom) + "[Settings]\r\nWait=250\r\nOpenWithDefaults=OFF\r\n\r\n");
  SettingsStore store(fs, SettingsDir());
  store.Open();
  EXPECT_EQ(store.ReadInteger("Wait", 0), 250);
  EXPECT_EQ(store.ReadString("OpenWithDefaults", ""), "OFF");
}

TEST_F(SettingsStoreOnDiskTest, FileThatIsNotUtf8IsDeletedAndTheDefaultsApply) {
  // "C:\测试" saved in the GBK code page.
  WriteBytes(SettingsFile(), "[Settings]\r\nOpenWith=C:\\\xB2\xE2\xCA\xD4\r\nWait=300\r\n");
  SettingsStore store(fs, SettingsDir());
  ASSERT_NO_THROW(store.Open());
  EXPECT_FALSE(store.ValueExists("Wait"));
  EXPECT_FALSE(fs.FileExists(SettingsDir() + "settings.ini"));
}

TEST_F(SettingsStoreOnDiskTest, FileThatCantBeReadIsKeptAndPutsTheStoreOnHold) {
  // A folder in the file's place: it opens, but reading fails, as for a file without access.
  test::MakeDirs(temp / "settings.ini/inside");
  SettingsStore store(fs, SettingsDir());
  ASSERT_NO_THROW(store.Open());
  EXPECT_TRUE(store.OnHold());
  EXPECT_FALSE(store.ValueExists("Wait"));
  EXPECT_NE(store.HeldText().find("无法读取设置 \"" + SettingsDir() + "settings.ini\""), std::string::npos)
      << store.HeldText();
  EXPECT_NO_THROW(store.WriteInteger("Wait", 5));  // nothing is written while on hold
  EXPECT_TRUE(std::filesystem::exists(temp / "settings.ini/inside"));
  EXPECT_FALSE(store.RetryHeld());
}

// Another program holds settings.ini while the program starts (a backup, a sync client, an
// editor): the user's settings must survive it, not be replaced by the defaults.
TEST(SettingsStoreTest, AFileAnotherProgramHoldsIsReadOnceItIsFreeAndNeverWrittenBefore) {
  class HeldFileSystem : public test::MemoryFileSystem {
   public:
    bool held = true;
    std::optional<std::string> ReadFile(const std::string& path) override {
      if (held) throw IoError(32, "The process cannot access the file because it is being used by another process");
      return MemoryFileSystem::ReadFile(path);
    }
    std::optional<std::string> ReadFileWithoutWaiting(const std::string& path) override { return ReadFile(path); }
  } fs;
  const std::string stored = std::string(kBom) + "[Settings]\r\nRemember=1\r\nWait=250\r\nOpenWithDefaults=OFF\r\n\r\n";
  fs.files["C:\\q\\settings.ini"] = stored;
  SettingsStore store(fs, "C:\\q\\");
  store.Open();
  ASSERT_TRUE(store.OnHold());
  EXPECT_NE(store.HeldText().find("being used by another process"), std::string::npos) << store.HeldText();
  EXPECT_EQ(store.ReadInteger("Remember", 0), 0);  // unknown yet: the defaults show

  // Changes meanwhile stay in memory; the file keeps the user's settings.
  store.WriteInteger("AutoClose", 1);
  store.WriteString("OpenWith", "C:\\Windows\\notepad.exe");
  EXPECT_FALSE(store.RetryHeld());
  EXPECT_EQ(fs.replaceCount, 0);
  EXPECT_EQ(fs.files["C:\\q\\settings.ini"], stored);

  fs.held = false;
  ASSERT_TRUE(store.RetryHeld());
  EXPECT_FALSE(store.OnHold());
  EXPECT_EQ(store.ReadInteger("Remember", 0), 1);
  EXPECT_EQ(store.ReadInteger("Wait", 0), 250);
  EXPECT_FALSE(store.ValueExists("AutoClose"));  // what was set while on hold is dropped
  store.WriteInteger("AutoClose", 1);
  EXPECT_EQ(fs.files["C:\\q\\settings.ini"], std::string(kBom) +
            "[Settings]\r\nRemember=1\r\nWait=250\r\nOpenWithDefaults=OFF\r\nAutoClose=1\r\n\r\n");
}

TEST_F(SettingsStoreOnDiskTest, WriteThatFailsThrowsKeepsTheValueInMemoryAndLeavesNoTemporaryFile) {
  SettingsStore store(fs, SettingsDir());
  store.Open();
  // A non-empty folder named settings.ini can't be replaced by a file.
  test::MakeDirs(temp / "settings.ini/inside");
  EXPECT_THROW(store.WriteInteger("Wait", 42), IoError);
  EXPECT_EQ(store.ReadInteger("Wait", 0), 42);
  EXPECT_EQ(test::FolderNames(temp.path()), std::vector<std::string>{"settings.ini"});
}

TEST_F(SettingsStoreOnDiskTest, FolderThatDoesNotExistMakesEveryWriteFail) {
  SettingsStore store(fs, temp.path() + "\\missing\\");
  store.Open();
  try {
    store.WriteString("OpenWith", "x");
    FAIL() << "no IoError";
  } catch (const IoError& error) {
    EXPECT_EQ(error.code(), static_cast<std::uint32_t>(ENOENT));
    EXPECT_STRNE(error.what(), "");
  }
  EXPECT_EQ(store.ReadString("OpenWith", ""), "x");
}

TEST_F(SettingsStoreOnDiskTest, FailedReplaceKeepsTheOldFile) {
  SettingsStore store(fs, SettingsDir());
  store.Open();
  store.WriteInteger("Wait", 1);
  const std::string before = ReadBytes(SettingsFile());
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  ::chmod(temp.path().c_str(), 0555);
  EXPECT_THROW(store.WriteInteger("Wait", 2), IoError);
  ::chmod(temp.path().c_str(), 0755);
  EXPECT_EQ(ReadBytes(SettingsFile()), before);
}

// A write waits, handling the window's messages, while another program holds settings.ini;
// an option changed by a handler that runs during that wait must not be lost under the older
// document the waiting write still holds.
TEST(SettingsStoreTest, AChangeMadeWhileAWriteWaitsEndsUpInTheFile) {
  class WaitingFileSystem : public test::MemoryFileSystem {
   public:
    std::function<void()> duringTheWait;
    void ReplaceFile(const std::string& path, const std::string& bytes) override {
      if (auto handler = std::exchange(duringTheWait, nullptr)) handler();
      MemoryFileSystem::ReplaceFile(path, bytes);
    }
  } fs;
  SettingsStore store(fs, "C:\\q\\");
  store.Open();
  fs.duringTheWait = [&] { store.WriteInteger("StayOnTop", 1); };
  store.WriteInteger("Wait", 500);
  EXPECT_EQ(fs.files["C:\\q\\settings.ini"],
            std::string(kBom) + "[Settings]\r\nWait=500\r\nStayOnTop=1\r\n\r\n");
  EXPECT_EQ(fs.replaceCount, 2);  // the waiting write, then one more with the newest document
}

// ChooseSettingsDir on real folders. The program folder and the application-data folder
// are both under one scratch folder.
class ChooseSettingsDirTest : public testing::Test {
 protected:
  void SetUp() override {
    test::MakeDirs(temp / "program");
    test::MakeDirs(temp / "appdata");
  }
  std::string Program() const { return temp.path() + "\\program"; }
  std::string AppData() const { return temp.path() + "\\appdata"; }
  std::string PerUser() const { return AppData() + "\\KALMIRO\\Quillet\\"; }
  bool PerUserFoldersExist() const {
    struct stat info;
    return ::stat((temp / "appdata/KALMIRO/Quillet").c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }
  TempDir temp;
  PosixFileSystem fs;
};

TEST_F(ChooseSettingsDirTest, WritableProgramFolderIsUsedAndTheProbeLeavesNothing) {
  int appDataAsked = 0;
  for (const std::string& program : {Program(), Program() + "\\"}) {
    EXPECT_EQ(ChooseSettingsDir(fs, program, [&] { ++appDataAsked; return AppData(); }, "KALMIRO", "Quillet"),
              Program() + "\\");
  }
  EXPECT_EQ(appDataAsked, 0) << "the per-user folder was looked up for a writable program folder";
  EXPECT_TRUE(test::FolderNames(temp / "program").empty());
  EXPECT_FALSE(PerUserFoldersExist());
}

TEST_F(ChooseSettingsDirTest, LeftoverProbeFileSendsTheSettingsToThePerUserFolder) {
  WriteBytes(temp / "program/chk.tmp", "");
  EXPECT_EQ(ChooseSettingsDir(fs, Program(), [&] { return AppData(); }, "KALMIRO", "Quillet"), PerUser());
  EXPECT_TRUE(PerUserFoldersExist());
  EXPECT_EQ(test::FolderNames(temp / "program"), std::vector<std::string>{"chk.tmp"});
}

TEST_F(ChooseSettingsDirTest, ProgramFolderThatCantTakeAFileCreatesBothPerUserLevels) {
  WriteBytes(temp / "program/file", "");
  const std::string unwritable[] = {
      Program() + "\\file",        // a regular file where the folder should be
      Program() + "\\missing",     // a folder that isn't there
  };
  for (const std::string& program : unwritable) {
    EXPECT_EQ(ChooseSettingsDir(fs, program, [&] { return AppData(); }, "KALMIRO", "Quillet"), PerUser()) << program;
    EXPECT_TRUE(PerUserFoldersExist());
  }
  // Both levels already there: creating them again is no failure.
  EXPECT_EQ(ChooseSettingsDir(fs, Program() + "\\missing", [&] { return AppData(); }, "KALMIRO", "Quillet"), PerUser());
}

TEST_F(ChooseSettingsDirTest, ReadOnlyProgramFolder) {
  ::chmod((temp / "program").c_str(), 0555);
  if (::access((temp / "program").c_str(), W_OK) == 0) {
    ::chmod((temp / "program").c_str(), 0755);
    GTEST_SKIP() << "this user can write into read-only folders";
  }
  EXPECT_EQ(ChooseSettingsDir(fs, Program(), [&] { return AppData(); }, "KALMIRO", "Quillet"), PerUser());
  ::chmod((temp / "program").c_str(), 0755);
  EXPECT_TRUE(PerUserFoldersExist());
}

// Start-up reads and geometry saves, on a store kept in memory.
class StoreInMemoryTest : public testing::Test {
 protected:
  SettingsStore& Load(const std::string& body) {
    fs.files["C:\\Q\\settings.ini"] = std::string(kBom) + "[Settings]\r\n" + body;
    store.Open();
    return store;
  }
  std::string File() { return fs.files["C:\\Q\\settings.ini"]; }
  test::MemoryFileSystem fs;
  SettingsStore store{fs, "C:\\Q\\"};
};

struct StartupCase {
  const char* name;
  std::string body;
  std::function<void(StartupSettings&)> expect;  // changes from the first-start defaults
};

class ReadStartupSettingsTest : public StoreInMemoryTest, public testing::WithParamInterface<StartupCase> {};

TEST_P(ReadStartupSettingsTest, AppliesOnlyWhatTheStoredValuesAllow) {
  const StartupCase& c = GetParam();
  StartupSettings expected;
  expected.openWith = "C:\\Windows\\notepad.exe";
  c.expect(expected);
  const StartupSettings got = ReadStartupSettings(Load(c.body), ScreenSize{1280, 800}, "C:\\Windows");
  EXPECT_EQ(got.placeAtStored, expected.placeAtStored);
  EXPECT_EQ(got.left, expected.left);
  EXPECT_EQ(got.top, expected.top);
  EXPECT_EQ(got.width, expected.width);
  EXPECT_EQ(got.height, expected.height);
  EXPECT_EQ(got.maximized, expected.maximized);
  EXPECT_EQ(got.remember, expected.remember);
  EXPECT_EQ(got.stayOnTop, expected.stayOnTop);
  EXPECT_EQ(got.autoClose, expected.autoClose);
  EXPECT_EQ(got.autoOpenList, expected.autoOpenList);
  EXPECT_EQ(got.wait, expected.wait);
  EXPECT_EQ(got.openWith, expected.openWith);
  EXPECT_EQ(got.openWithNamedProgram, expected.openWithNamedProgram);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, ReadStartupSettingsTest,
    testing::Values(
        StartupCase{"FirstStart", "", [](StartupSettings&) {}},
        StartupCase{"LeftWithoutTopStaysCentred", "Left=10\r\n", [](StartupSettings&) {}},
        StartupCase{"TopWithoutLeftStaysCentred", "Top=10\r\n", [](StartupSettings&) {}},
        StartupCase{"LeftAndTopPlaceTheWindowEvenOffScreen", "Left=-3000\r\nTop=20\r\n",
                    [](StartupSettings& s) { s.placeAtStored = true; s.left = -3000; s.top = 20; }},
        StartupCase{"NonNumericPositionReadsAsZero", "Left=abc\r\nTop=5\r\n",
                    [](StartupSettings& s) { s.placeAtStored = true; s.top = 5; }},
        StartupCase{"SizeThatFits", "Width=1280\r\nHeight=600\r\n",
                    [](StartupSettings& s) { s.width = 1280; s.height = 600; }},
        StartupCase{"ZeroSizeKeepsTheDesign", "Width=0\r\nHeight=0\r\n", [](StartupSettings&) {}},
        StartupCase{"WiderThanTheScreen", "Width=1281\r\nHeight=800\r\n", [](StartupSettings& s) { s.height = 800; }},
        StartupCase{"TallerThanTheScreen", "Width=640\r\nHeight=801\r\n", [](StartupSettings& s) { s.width = 640; }},
        StartupCase{"Maximized", "WindowState=Maximized\r\n", [](StartupSettings& s) { s.maximized = true; }},
        StartupCase{"MaximizedInLowerCaseStaysNormal", "WindowState=maximized\r\n", [](StartupSettings&) {}},
        StartupCase{"AllFlagsOne", "Remember=1\r\nStayOnTop=1\r\nAutoClose=1\r\nAutoOpenList=1\r\n",
                    [](StartupSettings& s) { s.remember = s.stayOnTop = s.autoClose = s.autoOpenList = true; }},
        StartupCase{"OnlyTheNumberOneTurnsAFlagOn", "Remember=2\r\nStayOnTop=-1\r\nAutoClose=yes\r\nAutoOpenList=01\r\n",
                    [](StartupSettings& s) { s.autoOpenList = true; }},
        StartupCase{"Wait", "Wait=-250\r\n", [](StartupSettings& s) { s.wait = -250; }},
        StartupCase{"WaitNotANumber", "Wait=soon\r\n", [](StartupSettings&) {}},
        StartupCase{"OpenWithKept", "OpenWith=C:\\Tools\\viewer.exe\r\n",
                    [](StartupSettings& s) { s.openWith = "C:\\Tools\\viewer.exe"; }},
        StartupCase{"OpenWithBlanksGetsNotepad", "OpenWith=    \r\n", [](StartupSettings&) {}},
        StartupCase{"OpenWithDefaultsOff", "OpenWithDefaults=OFF\r\n",
                    [](StartupSettings& s) { s.openWithNamedProgram = true; }},
        StartupCase{"OpenWithDefaultsOffInLowerCase", "OpenWithDefaults=off\r\n", [](StartupSettings&) {}},
        StartupCase{"OpenWithDefaultsOn", "OpenWithDefaults=ON\r\n", [](StartupSettings&) {}}),
    [](const testing::TestParamInfo<StartupCase>& p) { return p.param.name; });

TEST_F(StoreInMemoryTest, OpenWithSetToBlanksInMemoryAlsoGetsNotepad) {
  store.Open();
  store.SetString("OpenWith", "   ");
  EXPECT_EQ(ReadStartupSettings(store, ScreenSize{1280, 800}, "D:\\WINNT").openWith, "D:\\WINNT\\notepad.exe");
}

// The designed window of 513 x 538 outer pixels on a 1280 x 800 screen, centred at (383, 131).
TEST_F(StoreInMemoryTest, StartupBoundsCentreTheWindowAtTheSizeItOpensWith) {
  struct Case {
    const char* name;
    std::string stored;
    WindowBounds expected;
  };
  const std::vector<Case> cases = {
      {"nothing stored", "", {383, 131, 513, 538}},
      {"size only", "Width=700\r\nHeight=300\r\n", {290, 250, 700, 300}},
      {"width only", "Width=700\r\n", {290, 131, 700, 538}},
      {"height only", "Height=300\r\n", {383, 250, 513, 300}},
      {"size and position", "Left=10\r\nTop=20\r\nWidth=700\r\nHeight=300\r\n", {10, 20, 700, 300}},
      {"position only", "Left=10\r\nTop=20\r\n", {10, 20, 513, 538}},
      {"left without top", "Left=10\r\nWidth=700\r\n", {290, 131, 700, 538}},
      {"size over the screen", "Width=1281\r\nHeight=801\r\n", {383, 131, 513, 538}},
      {"width over the screen, height kept", "Width=2000\r\nHeight=300\r\n", {383, 250, 513, 300}},
      {"the whole screen", "Width=1280\r\nHeight=800\r\n", {0, 0, 1280, 800}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScreenSize screen{1280, 800};
    const WindowBounds got =
        StartupBounds(ReadStartupSettings(Load(c.stored), screen, "C:\\Windows"), 513, 538, screen);
    EXPECT_EQ(got.left, c.expected.left);
    EXPECT_EQ(got.top, c.expected.top);
    EXPECT_EQ(got.width, c.expected.width);
    EXPECT_EQ(got.height, c.expected.height);
  }
}

TEST_F(StoreInMemoryTest, SaveGeometryWritesByWindowStateWithOneFileWriteEach) {
  Load("Wait=5\r\n");
  SaveGeometry(store, WindowState::Normal, WindowBounds{10, 20, 640, 480});
  EXPECT_EQ(fs.replaceCount, 1);
  const std::string normal = std::string(kBom) +
                             "[Settings]\r\nWait=5\r\nLeft=10\r\nTop=20\r\nHeight=480\r\nWidth=640\r\n"
                             "WindowState=Normal\r\n\r\n";
  EXPECT_EQ(File(), normal);

  // Maximized keeps the last normal bounds.
  SaveGeometry(store, WindowState::Maximized, WindowBounds{0, 0, 1280, 800});
  EXPECT_EQ(fs.replaceCount, 2);
  std::string maximized = normal;
  maximized.replace(maximized.find("Normal"), 6, "Maximized");
  EXPECT_EQ(File(), maximized);

  // Minimized changes nothing but still writes the file.
  SaveGeometry(store, WindowState::Minimized, WindowBounds{-32000, -32000, 160, 28});
  EXPECT_EQ(fs.replaceCount, 3);
  EXPECT_EQ(File(), maximized);

  SaveGeometry(store, WindowState::Normal, WindowBounds{-5, 7, 800, 600});
  EXPECT_EQ(File(), std::string(kBom) +
                        "[Settings]\r\nWait=5\r\nLeft=-5\r\nTop=7\r\nHeight=600\r\nWidth=800\r\n"
                        "WindowState=Normal\r\n\r\n");
}

}  // namespace
}  // namespace quillet
