// Files, the writability probe, the folder test and the folder walk on the real file system.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "list/entry_class.h"
#include "list/folder_walk.h"
#include "platform/win32/win32_system.h"
#include "temp_folder.h"

namespace quillet {
namespace {

using testing::TempFolder;

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  Win32DirectorySearch().List(folder, [&](const DirectoryEntry& entry) {
    if (entry.name != "." && entry.name != "..") names.push_back(entry.name);
  });
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Win32FileSystem, ReplaceFileWritesExactBytesAndLeavesNothingElse) {
  TempFolder folder;
  Win32FileSystem files;
  std::string bytes = "\xEF\xBB\xBF[Settings]\r\nOpenWith=C:\\\xE8\xAE\xB0\xE4\xBA\x8B\xE6\x9C\xAC.exe\r\n";
  bytes += std::string("\0\r\n\n\r\xFF", 6);
  for (int i = 0; i < 300000; ++i) bytes.push_back(static_cast<char>(i * 131 % 256));  // > one buffer

  const std::string target = folder / "settings.ini";
  files.ReplaceFile(target, "old contents");
  files.ReplaceFile(target, bytes);
  EXPECT_EQ(files.ReadFile(target), bytes);
  files.ReplaceFile(target, "");
  EXPECT_EQ(files.ReadFile(target), std::string());
  // The temporary file is gone: the folder holds the target alone.
  EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"settings.ini"});
}

TEST(Win32FileSystem, ReplaceFileOverReadOnlyFileFailsWithSystemTextAndKeepsIt) {
  TempFolder folder;
  Win32FileSystem files;
  const std::string target = folder / "files.txt";
  folder.WriteFile("files.txt", "kept");
  SetFileAttributesW(Widen(target).c_str(), FILE_ATTRIBUTE_READONLY);
  try {
    files.ReplaceFile(target, "new");
    FAIL() << "replacing a read-only file succeeded";
  } catch (const IoError& error) {
    EXPECT_EQ(error.code(), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(std::string(error.what()), SystemErrorText(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(std::string(error.what()).empty());
  }
  EXPECT_EQ(files.ReadFile(target), "kept");
  EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"files.txt"});
}

// Another program's hold on a file, ending at the first pause between the file system's tries.
// A pause comes only after a try has met the hold, so the hold is seen and then ends while the
// file system waits, however slowly the machine runs. The pause itself waits as the program's
// own does.
class HoldEndingAtFirstPause {
 public:
  explicit HoldEndingAtFirstPause(HANDLE hold) : hold_(hold) {}
  ~HoldEndingAtFirstPause() { Release(); }
  HoldEndingAtFirstPause(const HoldEndingAtFirstPause&) = delete;
  HoldEndingAtFirstPause& operator=(const HoldEndingAtFirstPause&) = delete;

  Win32FileSystem::Pause Pause() {
    return [this](std::uint32_t milliseconds) {
      ++pauses_;
      Release();
      SleepWithoutFreeze(milliseconds);
    };
  }
  int Pauses() const { return pauses_; }

 private:
  void Release() {
    if (hold_ != INVALID_HANDLE_VALUE) CloseHandle(hold_);
    hold_ = INVALID_HANDLE_VALUE;
  }
  HANDLE hold_;
  int pauses_ = 0;
};

// Another program that has the file open for a moment (here: for reading, sharing everything)
// delays the write; one that keeps it open without sharing makes it fail, keeping the old bytes.
TEST(Win32FileSystem, ReplaceFileWaitsForAShortReadByAnotherAndGivesUpOnALongOne) {
  TempFolder folder;
  Win32FileSystem files;
  const std::string target = folder / "settings.ini";
  folder.WriteFile("settings.ini", "old");
  const std::wstring wideTarget = Widen(target);

  HANDLE reader = CreateFileW(wideTarget.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  HoldEndingAtFirstPause shortRead(reader);
  EXPECT_NO_THROW(Win32FileSystem(shortRead.Pause()).ReplaceFile(target, "new"));
  EXPECT_EQ(shortRead.Pauses(), 1) << "the write met the read once, then went through";
  EXPECT_EQ(files.ReadFile(target), "new");

  HANDLE holder = CreateFileW(wideTarget.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_THROW(files.ReplaceFile(target, "newer"), IoError);
  CloseHandle(holder);
  EXPECT_EQ(files.ReadFile(target), "new");
  EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"settings.ini"});
}

// A file another program holds without sharing for a moment is read once it lets go; one that
// stays held is an error, as any unreadable file is.
TEST(Win32FileSystem, ReadFileWaitsForAShortHoldByAnotherAndGivesUpOnALongOne) {
  TempFolder folder;
  Win32FileSystem files;
  folder.WriteFile("settings.ini", "kept");
  const std::string target = folder / "settings.ini";
  auto holdWithoutSharing = [&] {
    return CreateFileW(Widen(target).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  };

  HANDLE holder = holdWithoutSharing();
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  HoldEndingAtFirstPause shortHold(holder);
  EXPECT_EQ(Win32FileSystem(shortHold.Pause()).ReadFile(target), "kept");
  EXPECT_EQ(shortHold.Pauses(), 1) << "the read met the hold once, then went through";

  holder = holdWithoutSharing();
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  try {
    files.ReadFile(target);
    ADD_FAILURE() << "a file held by another was read";
  } catch (const IoError& error) {
    EXPECT_EQ(error.code(), static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  }
  CloseHandle(holder);
}

TEST(Win32FileSystem, ReplaceFileInMissingFolderFailsWithPathNotFound) {
  TempFolder folder;
  Win32FileSystem files;
  try {
    files.ReplaceFile(folder / "missing\\settings.ini", "x");
    FAIL() << "writing into a missing folder succeeded";
  } catch (const IoError& error) {
    EXPECT_EQ(error.code(), static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
  }
}

TEST(Win32FileSystem, ReadFileTellsMissingFromUnreadable) {
  TempFolder folder;
  Win32FileSystem files;
  folder.MakeFolder("sub");
  EXPECT_EQ(files.ReadFile(folder / "none.txt"), std::nullopt);
  EXPECT_EQ(files.ReadFile(folder / "nofolder\\none.txt"), std::nullopt);
  // A folder can't be read as a file: that is an error, not a missing file.
  EXPECT_THROW(files.ReadFile(folder / "sub"), IoError);
}

TEST(Win32FileSystem, FoldersExistsAndDelete) {
  TempFolder folder;
  Win32FileSystem files;
  EXPECT_TRUE(files.CreateFolder(folder / "KALMIRO"));
  EXPECT_FALSE(files.CreateFolder(folder / "KALMIRO"));  // already there
  EXPECT_TRUE(files.CreateFolder(folder / "KALMIRO\\Quillet"));
  EXPECT_FALSE(files.FileExists(folder / "KALMIRO"));     // a folder is not a file
  folder.WriteFile("KALMIRO\\Quillet\\settings.ini", "x");
  EXPECT_TRUE(files.FileExists(folder / "KALMIRO\\Quillet\\settings.ini"));
  EXPECT_TRUE(files.DeleteFile(folder / "KALMIRO\\Quillet\\settings.ini"));
  EXPECT_FALSE(files.FileExists(folder / "KALMIRO\\Quillet\\settings.ini"));
  EXPECT_FALSE(files.DeleteFile(folder / "KALMIRO\\Quillet\\settings.ini"));
}

TEST(Win32FileSystem, ProbeWritableLeavesNoFileAndFailsOnLeftoverOrMissingFolder) {
  TempFolder folder;
  Win32FileSystem files;
  EXPECT_TRUE(files.ProbeWritable(folder.path()));
  EXPECT_TRUE(files.ProbeWritable(folder.path()));  // the first probe deleted its file
  EXPECT_TRUE(NamesIn(folder.path()).empty());

  EXPECT_FALSE(files.ProbeWritable(folder / "missing"));

  folder.WriteFile("chk.tmp", "left over");
  EXPECT_FALSE(files.ProbeWritable(folder.path()));
  EXPECT_EQ(files.ReadFile(folder / "chk.tmp"), "left over");  // not touched
}

TEST(Win32FolderProbe, ClassifiesRealPaths) {
  TempFolder folder;
  folder.MakeFolder("Data");
  folder.MakeFolder("Hidden", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  folder.WriteFile("a b.txt", "x");
  Win32FolderProbe probe;
  struct Case {
    std::string text;
    EntryClass expected;
  } cases[] = {
      {folder / "Data", EntryClass::Folder},
      {folder / "Data\\", EntryClass::Folder},
      {folder / "Hidden", EntryClass::Folder},
      {folder / "a b.txt", EntryClass::Other},
      {folder / "missing", EntryClass::Other},
      {folder / "missing\\deeper", EntryClass::Other},
      {"notepad.exe", EntryClass::Other},
      {"", EntryClass::Other},
      {"HTTPS://example.com/", EntryClass::WebAddress},
      {"httpfile.txt", EntryClass::WebAddress},
  };
  for (const Case& c : cases) EXPECT_EQ(Classify(c.text, probe), c.expected) << c.text;

  const auto missing = probe.GetAttributes(folder / "missing");
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.error, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  const auto data = probe.GetAttributes(folder / "Data");
  ASSERT_TRUE(data.ok);
  EXPECT_TRUE(data.attributes & kAttributeDirectory);
  EXPECT_TRUE(probe.OpenFollowingLink(folder / "Data"));
  EXPECT_FALSE(probe.OpenFollowingLink(folder / "missing"));
}

class Win32FolderWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.MakeFolder("data");
    folder_.MakeFolder("data\\a");
    folder_.MakeFolder("data\\a\\x");
    folder_.MakeFolder("data\\b");
    folder_.MakeFolder("data\\h", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    folder_.WriteFile("data\\file.txt", "x");
    folder_.WriteFile("data\\a\\inner.txt", "x");
    data_ = folder_ / "data";
  }
  std::vector<std::string> Walk(const std::string& dir, WalkDepth depth) {
    std::vector<std::string> list;
    AddAllFoldersInDir(search_, dir, depth, list);
    return list;
  }

  TempFolder folder_;
  Win32DirectorySearch search_;
  std::string data_;
};

TEST_F(Win32FolderWalk, ListingHasDotEntriesAndEveryKind) {
  std::vector<DirectoryEntry> entries;
  ASSERT_TRUE(search_.List(data_, [&](const DirectoryEntry& entry) { entries.push_back(entry); }));
  auto find = [&](const std::string& name) {
    return std::find_if(entries.begin(), entries.end(), [&](const DirectoryEntry& e) { return e.name == name; });
  };
  ASSERT_NE(find("."), entries.end());
  EXPECT_TRUE(find(".")->isDirectory);
  ASSERT_NE(find(".."), entries.end());
  ASSERT_NE(find("h"), entries.end());
  EXPECT_TRUE(find("h")->isDirectory);
  ASSERT_NE(find("file.txt"), entries.end());
  EXPECT_FALSE(find("file.txt")->isDirectory);
  EXPECT_FALSE(find("file.txt")->isLink);
  EXPECT_EQ(entries.size(), 6u);  // . .. a b h file.txt

  EXPECT_FALSE(search_.List(folder_ / "missing", [](const DirectoryEntry&) {}));
}

TEST_F(Win32FolderWalk, DepthsRecordFoldersBeforeTheirSubfolders) {
  const std::string d = data_ + "\\";
  std::vector<std::string> all = Walk(data_, WalkDepth::AllLevels);
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all.front(), d);
  const auto position = [&](const std::string& p) { return std::find(all.begin(), all.end(), p) - all.begin(); };
  EXPECT_LT(position(d + "a\\"), position(d + "a\\x\\"));
  std::vector<std::string> sorted = all;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{d, d + "a\\", d + "a\\x\\", d + "b\\", d + "h\\"}));

  std::vector<std::string> direct = Walk(data_, WalkDepth::DirectSubfolders);
  std::sort(direct.begin(), direct.end());
  EXPECT_EQ(direct, (std::vector<std::string>{d, d + "a\\", d + "b\\", d + "h\\"}));
  std::vector<std::string> toAdd = SubfoldersToAdd(direct, data_);
  std::sort(toAdd.begin(), toAdd.end());
  EXPECT_EQ(toAdd, (std::vector<std::string>{d + "a\\", d + "b\\", d + "h\\"}));

  EXPECT_EQ(Walk(data_, WalkDepth::FolderOnly), std::vector<std::string>{d});
  EXPECT_TRUE(Walk(folder_ / "missing", WalkDepth::AllLevels).empty());
  EXPECT_EQ(Walk(d + "b", WalkDepth::AllLevels), std::vector<std::string>{d + "b\\"});
}

TEST_F(Win32FolderWalk, IdentityFollowsTheFolderNotTheSpelling) {
  const auto data = search_.Identify(data_);
  const auto same = search_.Identify(data_ + "\\a\\..");
  const auto other = search_.Identify(data_ + "\\a");
  ASSERT_TRUE(data && same && other);
  EXPECT_EQ(*data, *same);
  EXPECT_NE(*data, *other);
  EXPECT_FALSE(search_.Identify(folder_ / "missing"));
}

TEST_F(Win32FolderWalk, LinkBackToAnAncestorEnds) {
  const std::wstring link = Widen(data_ + "\\a\\loop");
  if (!CreateSymbolicLinkW(link.c_str(), Widen(data_).c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
    GTEST_SKIP() << "no directory links here (error " << GetLastError() << ")";
  bool sawLink = false;
  search_.List(data_ + "\\a", [&](const DirectoryEntry& entry) {
    if (entry.name == "loop") sawLink = entry.isLink && entry.isDirectory;
  });
  // Some systems (Wine) accept the call but keep links that don't lead anywhere.
  if (!sawLink || !search_.Identify(data_ + "\\a\\loop"))
    GTEST_SKIP() << "directory links are not followed here";
  EXPECT_EQ(search_.Identify(data_ + "\\a\\loop"), search_.Identify(data_));
  const std::vector<std::string> all = Walk(data_, WalkDepth::AllLevels);
  EXPECT_GE(all.size(), 5u);
  EXPECT_LT(all.size(), 50u);
}

}  // namespace
}  // namespace quillet
