// The version record, read from this test program, which carries the program's resources.
#include <gtest/gtest.h>

#include "app/versioninfo.h"
#include "platform/win32/win32_system.h"
#include "temp_folder.h"

namespace quillet {
namespace {

TEST(ReadVersionData, ReadsTheProgramsRecord) {
  const TEXEVersionData data = ReadVersionData(ProgramFilePath());
  EXPECT_EQ(data.CompanyName, L"KALMIRO");
  EXPECT_EQ(data.ProductName, L"Quillet");
  EXPECT_EQ(data.FileDescription, L"Quillet");
  EXPECT_EQ(data.FileVersion, L"3.1.0.0");
  EXPECT_EQ(data.ProductVersion, L"3.1.0.0");
  EXPECT_EQ(data.InternalName, L"Quillet");
  EXPECT_EQ(data.LegalCopyright, L"Copyright (C) KALMIRO");
  EXPECT_EQ(data.OriginalFileName, L"quillet.exe");
  // Fields the string table lacks stay empty.
  EXPECT_EQ(data.LegalTrademarks, L"");
  EXPECT_EQ(data.Comments, L"");
  EXPECT_EQ(data.PrivateBuild, L"");
  EXPECT_EQ(data.SpecialBuild, L"");
  EXPECT_EQ(data.CompanyName + L" - " + data.ProductName, L"KALMIRO - Quillet");
  EXPECT_EQ(ReadFixedVersionText(ProgramFilePath()), L"3.1");
}

TEST(ReadVersionData, FailsWithTheSystemErrorOnFilesWithoutARecord) {
  testing::TempFolder folder;
  folder.WriteFile("plain.txt", "no version resource here\r\n");
  struct Case {
    std::string path;
    DWORD exactCode;  // 0: any non-zero code
  } cases[] = {
      {folder / "plain.txt", 0},
      {folder / "missing.exe", ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    for (int reader = 0; reader < 2; ++reader) {
      try {
        if (reader == 0)
          ReadVersionData(Widen(c.path));
        else
          ReadFixedVersionText(Widen(c.path));
        ADD_FAILURE() << c.path << " gave a version record";
      } catch (const VersionDataError& error) {
        EXPECT_NE(error.code, 0u) << c.path;
        if (c.exactCode) {
          EXPECT_EQ(error.code, c.exactCode) << c.path;
        }
      }
    }
  }
}

}  // namespace
}  // namespace quillet
