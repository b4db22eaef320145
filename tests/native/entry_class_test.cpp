#include "list/entry_class.h"

#include <gtest/gtest.h>

#include "fake_probe.h"

namespace quillet {
namespace {

using test::FakeProbe;

TEST(IsWebAddressTest, FirstFourCharactersAreHttpInAnyCase) {
  const std::pair<const char*, bool> cases[] = {
      {"http://example.com", true},  {"https://example.com", true}, {"HTTP://EXAMPLE.COM", true},
      {"HtTpS://Example.com/A", true}, {"httpfoo", true},           {"http", true},
      {"htt", false},                {"", false},                    {" http://x", false},
      {"ftp://x", false},            {"www.example.com", false},     {"C:\\http\\a", false},
      {"\\\\server\\http", false},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(IsWebAddress(text), expected) << text;
}

struct FolderCase {
  const char* name;
  FolderProbe::Attributes attributes;
  bool linkOpens;
  bool folder;
};

class FolderTestTest : public testing::TestWithParam<FolderCase> {};

TEST_P(FolderTestTest, DecidesFromAttributesLinksAndErrors) {
  const FolderCase& c = GetParam();
  FakeProbe probe;
  probe.paths["C:\\t"] = FakeProbe::Path{c.attributes, c.linkOpens};
  EXPECT_EQ(FolderTest("C:\\t", probe), c.folder);
  // Only a reparse point is opened through.
  const bool isLink = c.attributes.ok && (c.attributes.attributes & kAttributeReparsePoint) != 0;
  EXPECT_EQ(probe.opened.size(), isLink ? 1u : 0u);
}

constexpr bool kOpens = true;
constexpr bool kFails = false;

FolderProbe::Attributes Attr(std::uint32_t bits) { return {true, bits, 0}; }
FolderProbe::Attributes Error(std::uint32_t code) { return {false, 0, code}; }

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderTestTest,
    testing::Values(FolderCase{"Directory", Attr(0x10), kOpens, true},
                    FolderCase{"HiddenSystemDirectory", Attr(0x10 | 0x02 | 0x04), kOpens, true},
                    FolderCase{"ReadOnlyDirectory", Attr(0x10 | 0x01), kOpens, true},
                    FolderCase{"ArchiveFile", Attr(0x20), kOpens, false},
                    FolderCase{"NormalFile", Attr(0x80), kOpens, false},
                    FolderCase{"NoAttributes", Attr(0), kOpens, false},
                    FolderCase{"DirectoryLinkThatOpens", Attr(0x10 | 0x400), kOpens, true},
                    FolderCase{"DirectoryLinkThatFails", Attr(0x10 | 0x400), kFails, false},
                    FolderCase{"FileLinkThatOpens", Attr(0x20 | 0x400), kOpens, false},
                    FolderCase{"FileLinkThatFails", Attr(0x400), kFails, false},
                    FolderCase{"FileNotFound2", Error(2), kOpens, false},
                    FolderCase{"PathNotFound3", Error(3), kOpens, false},
                    FolderCase{"DeviceNotReady21", Error(21), kOpens, false},
                    FolderCase{"NetworkPathNotFound53", Error(53), kOpens, false},
                    FolderCase{"NetworkNameNotFound67", Error(67), kOpens, false},
                    FolderCase{"InvalidName123", Error(123), kOpens, false},
                    FolderCase{"BadPathName161", Error(161), kOpens, false},
                    FolderCase{"AccessDenied5", Error(5), kOpens, true},
                    FolderCase{"SharingViolation32", Error(32), kOpens, true},
                    FolderCase{"BadNetPath1", Error(1), kOpens, true},
                    FolderCase{"LogonFailure1326", Error(1326), kOpens, true}),
    [](const testing::TestParamInfo<FolderCase>& p) { return p.param.name; });

TEST(ClassifyTest, WebAddressBeatsFolderAndNetworkPathsHaveNoClassOfTheirOwn) {
  FakeProbe probe;
  probe.AddFolder("http-folder");
  probe.AddFolder("C:\\Data");
  probe.AddFolder("\\\\server\\share\\dir");
  probe.AddFile("\\\\server\\share\\file.txt");
  probe.AddFile("C:\\a b.txt");
  probe.paths["C:\\Locked"] = FakeProbe::Path{Error(5), true};

  const std::pair<const char*, EntryClass> cases[] = {
      {"http-folder", EntryClass::WebAddress},
      {"HTTP://Example.com", EntryClass::WebAddress},
      {"C:\\Data", EntryClass::Folder},
      {"C:\\Locked", EntryClass::Folder},
      {"\\\\server\\share\\dir", EntryClass::Folder},
      {"\\\\server\\share\\file.txt", EntryClass::Other},
      {"C:\\a b.txt", EntryClass::Other},
      {"notepad", EntryClass::Other},
      {"", EntryClass::Other},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(Classify(text, probe), expected) << text;
}

}  // namespace
}  // namespace quillet
