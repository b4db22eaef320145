#include "list/folder_walk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "platform/posix/posix_directory_search.h"
#include "test_support.h"

namespace quillet {
namespace {

using Folders = std::vector<std::string>;

// A directory search answered from a table, so the order of entries is the test's choice.
class FakeSearch : public DirectorySearch {
 public:
  std::map<std::string, std::vector<DirectoryEntry>> listings;  // by dir as passed
  std::map<std::string, FolderIdentity> identities;
  int identifyCalls = 0;

  // dir gets ".", "..", then the given subfolders (a trailing "@" marks a link) and a file.
  void Folder(const std::string& dir, std::vector<std::string> subfolders) {
    std::vector<DirectoryEntry>& entries = listings[dir];
    entries = {{".", true, false}, {"..", true, false}};
    for (std::string& name : subfolders) {
      const bool link = !name.empty() && name.back() == '@';
      if (link) name.pop_back();
      entries.push_back({name, true, link});
    }
    entries.push_back({"file.txt", false, false});
  }
  bool List(const std::string& dir, const std::function<void(const DirectoryEntry&)>& visit) override {
    const auto it = listings.find(dir);
    if (it == listings.end()) return false;
    for (const DirectoryEntry& entry : it->second) visit(entry);
    return true;
  }
  std::optional<FolderIdentity> Identify(const std::string& path) override {
    ++identifyCalls;
    const auto it = identities.find(path);
    if (it == identities.end()) return std::nullopt;
    return it->second;
  }
};

Folders Walk(DirectorySearch& search, const std::string& dir, WalkDepth depth) {
  Folders folders;
  AddAllFoldersInDir(search, dir, depth, folders);
  return folders;
}

class FolderWalkOrderTest : public testing::Test {
 protected:
  void SetUp() override {
    search.Folder("C:\\data", {"a", "b"});
    search.Folder("C:\\data\\a", {"x"});
    search.Folder("C:\\data\\a\\x", {});
    search.Folder("C:\\data\\b", {});
  }
  FakeSearch search;
};

TEST_F(FolderWalkOrderTest, EachDepthRecordsFoldersInPreOrder) {
  EXPECT_EQ(Walk(search, "C:\\data", WalkDepth::FolderOnly), (Folders{"C:\\data\\"}));
  EXPECT_EQ(Walk(search, "C:\\data", WalkDepth::DirectSubfolders),
            (Folders{"C:\\data\\", "C:\\data\\a\\", "C:\\data\\b\\"}));
  EXPECT_EQ(Walk(search, "C:\\data", WalkDepth::AllLevels),
            (Folders{"C:\\data\\", "C:\\data\\a\\", "C:\\data\\a\\x\\", "C:\\data\\b\\"}));
  // A walk without links asks for no folder identities.
  EXPECT_EQ(search.identifyCalls, 0);
}

TEST_F(FolderWalkOrderTest, SubfolderCommandsLeaveOutTheChosenFolder) {
  EXPECT_EQ(SubfoldersToAdd(Walk(search, "C:\\data", WalkDepth::DirectSubfolders), "C:\\data"),
            (Folders{"C:\\data\\a\\", "C:\\data\\b\\"}));
  EXPECT_EQ(SubfoldersToAdd(Walk(search, "C:\\data", WalkDepth::AllLevels), "C:\\data"),
            (Folders{"C:\\data\\a\\", "C:\\data\\a\\x\\", "C:\\data\\b\\"}));
}

TEST_F(FolderWalkOrderTest, FolderIsRecordedWhenItsDotEntryComesNotBefore) {
  // Some file systems don't deliver "." first; the folder then follows the subfolders
  // listed before it.
  search.listings["C:\\data"] = {{"a", true, false}, {".", true, false}, {"b", true, false}};
  EXPECT_EQ(Walk(search, "C:\\data", WalkDepth::AllLevels),
            (Folders{"C:\\data\\a\\", "C:\\data\\a\\x\\", "C:\\data\\", "C:\\data\\b\\"}));
}

TEST_F(FolderWalkOrderTest, RootWithoutDotEntryAndFoldersThatCantBeListedAreNotRecorded) {
  search.listings["C:\\"] = {{"data", true, false}, {"locked", true, false}, {"pagefile.sys", false, false}};
  EXPECT_EQ(Walk(search, "C:\\", WalkDepth::DirectSubfolders), (Folders{"C:\\data\\"}));
  EXPECT_EQ(Walk(search, "C:\\missing", WalkDepth::AllLevels), Folders{});
}

TEST_F(FolderWalkOrderTest, LinkBackOntoTheWalkPathIsNotFollowed) {
  search.Folder("C:\\data\\b", {"up@", "self@", "other@"});
  search.Folder("C:\\data\\b\\other", {});
  search.identities = {{"C:\\data", {1, 10}},       {"C:\\data\\", {1, 10}},  {"C:\\data\\b\\", {1, 12}},
                       {"C:\\data\\b\\up", {1, 10}}, {"C:\\data\\b\\self", {1, 12}},
                       {"C:\\data\\b\\other", {2, 10}}};
  EXPECT_EQ(Walk(search, "C:\\data", WalkDepth::AllLevels),
            (Folders{"C:\\data\\", "C:\\data\\a\\", "C:\\data\\a\\x\\", "C:\\data\\b\\", "C:\\data\\b\\other\\"}));
}

TEST(SubfoldersToAddTest, ComparesWithATrailingSeparatorAndCase) {
  const Folders walked = {"C:\\data\\", "C:\\data\\a\\"};
  EXPECT_EQ(SubfoldersToAdd(walked, "C:\\data"), (Folders{"C:\\data\\a\\"}));
  EXPECT_EQ(SubfoldersToAdd(walked, "C:\\data\\"), (Folders{"C:\\data\\a\\"}));
  EXPECT_EQ(SubfoldersToAdd(walked, "C:\\Data"), walked);
  EXPECT_EQ(SubfoldersToAdd({}, "C:\\data"), Folders{});
  EXPECT_EQ(WithTrailingSeparator("C:"), "C:\\");
  EXPECT_EQ(WithTrailingSeparator("C:\\"), "C:\\");
}

// The walk over real folders with the POSIX search.
class FolderWalkOnDiskTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"data/a/x", "data/b", "data/.hidden", "data/empty", "other/o1"}) test::MakeDirs(temp / folder);
    test::WriteBytes(temp / "data/file.txt", "x");
    test::WriteBytes(temp / "data/a/note.txt", "x");
  }
  std::string Data() const { return temp.path() + "\\data"; }
  std::string In(const std::string& relative) const { return Data() + "\\" + relative; }
  void Link(const std::string& target, const std::string& at) {
    ASSERT_EQ(::symlink(target.c_str(), (temp / at).c_str()), 0) << at;
  }
  Folders WalkData(WalkDepth depth, const std::function<void()>& onRecorded = {}) {
    Folders folders;
    AddAllFoldersInDir(search, Data(), depth, folders, onRecorded);
    return folders;
  }
  static Folders Sorted(Folders folders) {
    std::sort(folders.begin(), folders.end());
    return folders;
  }
  // Pre-order: every folder comes after its parent, and each subtree is contiguous.
  static void ExpectPreOrder(const Folders& folders) {
    for (std::size_t k = 1; k < folders.size(); ++k) {
      const std::string& folder = folders[k];
      const std::string parent = folder.substr(0, folder.find_last_of('\\', folder.size() - 2) + 1);
      const auto at = std::find(folders.begin(), folders.begin() + k, parent);
      ASSERT_NE(at, folders.begin() + k) << folder << " before its parent";
      for (auto between = at + 1; between != folders.begin() + k; ++between) {
        EXPECT_EQ(between->rfind(parent, 0), 0u) << folder << " is not next to its siblings";
      }
    }
  }
  test::TempDir temp;
  PosixDirectorySearch search;
};

TEST_F(FolderWalkOnDiskTest, DirectAndRecursiveWalks) {
  const Folders direct = WalkData(WalkDepth::DirectSubfolders);
  ASSERT_FALSE(direct.empty());
  EXPECT_EQ(direct.front(), Data() + "\\");
  EXPECT_EQ(Sorted(SubfoldersToAdd(direct, Data())), Sorted({In(".hidden\\"), In("a\\"), In("b\\"), In("empty\\")}));

  const Folders all = WalkData(WalkDepth::AllLevels);
  EXPECT_EQ(all.front(), Data() + "\\");
  ExpectPreOrder(all);
  EXPECT_EQ(Sorted(SubfoldersToAdd(all, Data() + "\\")),
            Sorted({In(".hidden\\"), In("a\\"), In("a\\x\\"), In("b\\"), In("empty\\")}));

  EXPECT_EQ(WalkData(WalkDepth::FolderOnly), Folders{Data() + "\\"});
}

TEST_F(FolderWalkOnDiskTest, FolderWithoutSubfoldersAddsNothing) {
  for (const WalkDepth depth : {WalkDepth::DirectSubfolders, WalkDepth::AllLevels}) {
    Folders folders;
    AddAllFoldersInDir(search, In("empty"), depth, folders);
    EXPECT_EQ(folders, Folders{In("empty\\")});
    EXPECT_TRUE(SubfoldersToAdd(folders, In("empty")).empty());
  }
}

TEST_F(FolderWalkOnDiskTest, MissingFolderRecordsNothing) {
  Folders folders;
  AddAllFoldersInDir(search, In("nowhere"), WalkDepth::AllLevels, folders);
  AddAllFoldersInDir(search, In("file.txt"), WalkDepth::AllLevels, folders);
  EXPECT_TRUE(folders.empty());
}

TEST_F(FolderWalkOnDiskTest, LinksAreFollowedButCyclesEnd) {
  Link("..", "data/a/loop");              // back to data, an ancestor
  Link(".", "data/b/self");               // the folder itself
  Link(temp / "other", "data/b/outside"); // a folder elsewhere: walked like any other
  Link(temp / "data/a", "data/b/a-again");  // a sibling, not on the walk path: walked once more
  Link(temp / "nowhere", "data/dangling");
  Link(temp / "data/file.txt", "data/file-link");

  const Folders all = WalkData(WalkDepth::AllLevels);
  ExpectPreOrder(all);
  EXPECT_EQ(Sorted(SubfoldersToAdd(all, Data())),
            Sorted({In(".hidden\\"), In("a\\"), In("a\\x\\"), In("b\\"), In("b\\outside\\"), In("b\\outside\\o1\\"),
                    In("b\\a-again\\"), In("b\\a-again\\x\\"), In("empty\\")}));

  // One level down a link to the chosen folder itself is left out too.
  Link(".", "data/me");
  const Folders direct = WalkData(WalkDepth::DirectSubfolders);
  EXPECT_EQ(std::count(direct.begin(), direct.end(), In("me\\")), 0);
}

TEST_F(FolderWalkOnDiskTest, FolderRemovedDuringTheWalkIsNotRecorded) {
  bool removed = false;
  const Folders all = WalkData(WalkDepth::AllLevels, [&] {
    if (!removed) {
      // The walk pumps messages here; a handler removes a folder not yet walked.
      removed = true;
      ASSERT_EQ(::rmdir((temp / "data/b").c_str()), 0);
    }
  });
  EXPECT_EQ(Sorted(SubfoldersToAdd(all, Data())), Sorted({In(".hidden\\"), In("a\\"), In("a\\x\\"), In("empty\\")}));
}

TEST_F(FolderWalkOnDiskTest, FolderWithoutAccessIsNotRecorded) {
  ::chmod((temp / "data/a").c_str(), 0);
  if (::access((temp / "data/a").c_str(), R_OK | X_OK) == 0) GTEST_SKIP() << "this user reads folders without access";
  const Folders all = WalkData(WalkDepth::AllLevels);
  EXPECT_EQ(Sorted(SubfoldersToAdd(all, Data())), Sorted({In(".hidden\\"), In("b\\"), In("empty\\")}));
}

TEST(PosixDirectorySearchTest, ListsDotEntriesFirstAndMarksLinks) {
  test::TempDir temp;
  test::MakeDirs(temp / "dir");
  test::WriteBytes(temp / "file", "");
  ASSERT_EQ(::symlink("dir", (temp / "dirlink").c_str()), 0);
  ASSERT_EQ(::symlink("file", (temp / "filelink").c_str()), 0);
  PosixDirectorySearch search;
  std::vector<DirectoryEntry> entries;
  ASSERT_TRUE(search.List(temp.path(), [&](const DirectoryEntry& entry) { entries.push_back(entry); }));
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0].name, ".");
  EXPECT_EQ(entries[1].name, "..");
  std::map<std::string, std::pair<bool, bool>> kinds;  // name -> (directory, link)
  for (std::size_t k = 2; k < entries.size(); ++k) kinds[entries[k].name] = {entries[k].isDirectory, entries[k].isLink};
  const std::map<std::string, std::pair<bool, bool>> expected = {
      {"dir", {true, false}}, {"file", {false, false}}, {"dirlink", {true, true}}, {"filelink", {false, true}}};
  EXPECT_EQ(kinds, expected);

  EXPECT_FALSE(search.List(temp / "missing", [](const DirectoryEntry&) {}));
  EXPECT_EQ(search.Identify(temp / "dirlink"), search.Identify(temp.path() + "\\dir"));
  EXPECT_NE(search.Identify(temp / "dir"), search.Identify(temp.path()));
  EXPECT_EQ(search.Identify(temp / "missing"), std::nullopt);
}

}  // namespace
}  // namespace quillet
