// The parts of the file dialogs that don't need a dialog on the screen.
#include <gtest/gtest.h>

#include "platform/win32/dialogs.h"

namespace quillet {
namespace {

TEST(DialogFilter, BarsBecomeZerosWithADoubleZeroEnd) {
  EXPECT_EQ(DialogFilter(L"Any Files|*.*"), std::wstring(L"Any Files\0*.*\0\0", 15));
  EXPECT_EQ(DialogFilter(L"Executable (*.exe)|*.exe|Any File (*.*)|*.*"),
            std::wstring(L"Executable (*.exe)\0*.exe\0Any File (*.*)\0*.*\0\0", 45));
}

TEST(ParseOpenDialogBuffer, SingleAndMultipleAnswers) {
  struct Case {
    std::wstring buffer;
    std::vector<std::wstring> expected;
  } cases[] = {
      {std::wstring(L"C:\\data\\a b.txt\0\0", 17), {L"C:\\data\\a b.txt"}},
      {std::wstring(L"C:\\data\0a.txt\0b c.txt\0z.txt\0\0", 29),
       {L"C:\\data\\a.txt", L"C:\\data\\b c.txt", L"C:\\data\\z.txt"}},
      {std::wstring(L"C:\\\0boot.ini\0x.txt\0\0", 20), {L"C:\\boot.ini", L"C:\\x.txt"}},
      {std::wstring(L"\0\0", 2), {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseOpenDialogBuffer(c.buffer.data(), c.buffer.size()), c.expected);

  // Thousands of names, as a large multi-selection returns them.
  std::wstring many = L"D:\\photos";
  many.push_back(L'\0');
  for (int i = 0; i < 5000; ++i) {
    many += L"IMG_" + std::to_wstring(i) + L".jpg";
    many.push_back(L'\0');
  }
  many.push_back(L'\0');
  const auto files = ParseOpenDialogBuffer(many.data(), many.size());
  ASSERT_EQ(files.size(), 5000u);
  EXPECT_EQ(files.front(), L"D:\\photos\\IMG_0.jpg");
  EXPECT_EQ(files.back(), L"D:\\photos\\IMG_4999.jpg");
}

TEST(DriveOf, RootOfTheBrowseDialog) {
  struct Case {
    std::wstring folder, drive;
  } cases[] = {
      {L"C:\\data\\a", L"C:\\"}, {L"d:", L"d:\\"}, {L"", L""}, {L"relative\\dir", L""},
      {L"\\\\server\\share\\dir", L"\\\\server\\share"}, {L"\\\\server\\share", L"\\\\server\\share"},
  };
  for (const Case& c : cases) EXPECT_EQ(DriveOf(c.folder), c.drive) << c.folder.size();
}

}  // namespace
}  // namespace quillet
