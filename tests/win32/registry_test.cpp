// The Run key on the real registry, under a scratch key of the current user that every test
// deletes first and after.
#include "platform/win32/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/win32_system.h"
#include "store/log_on.h"
#include "util/text.h"

namespace quillet {
namespace {

constexpr wchar_t kScratchRoot[] = L"Software\\QuilletTests";
const std::string kKeyPath = "Software\\QuilletTests\\CurrentVersion";
const std::wstring kRunPath = L"Software\\QuilletTests\\CurrentVersion\\Run";

bool KeyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The value as stored: its type and its bytes as UTF-16 units, terminator included.
struct RawValue {
  DWORD type = REG_NONE;
  std::wstring units;
};

RawValue ReadRaw(const std::wstring& name) {
  RawValue raw;
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunPath.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &raw.type,
                   nullptr, &bytes) != ERROR_SUCCESS) {
    return {};
  }
  raw.units.resize(bytes / sizeof(wchar_t));
  RegGetValueW(HKEY_CURRENT_USER, kRunPath.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, nullptr,
               raw.units.data(), &bytes);
  return raw;
}

class RegistryRunKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kScratchRoot); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kScratchRoot); }
};

TEST_F(RegistryRunKeyTest, OpeningCreatesTheKeyButNotTheRunSubkey) {
  ASSERT_FALSE(KeyExists(kScratchRoot));
  Win32RunKey run(kKeyPath);
  EXPECT_TRUE(KeyExists(Widen(kKeyPath)));
  EXPECT_FALSE(KeyExists(kRunPath));
  EXPECT_EQ(run.ReadString("KALMIRO - Quillet"), "");
  run.DeleteValue("KALMIRO - Quillet");  // no subkey, no value: nothing to do
  EXPECT_FALSE(KeyExists(kRunPath));
}

TEST_F(RegistryRunKeyTest, WriteCreatesRunAndStoresAPlainString) {
  Win32RunKey run(kKeyPath);
  const std::string path = "C:\\Program Files\\Quillet\\quillet.exe";
  run.WriteString("KALMIRO - Quillet", path);
  const RawValue raw = ReadRaw(L"KALMIRO - Quillet");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(raw.units, Widen(path) + L'\0');
  EXPECT_EQ(run.ReadString("KALMIRO - Quillet"), path);
}

TEST_F(RegistryRunKeyTest, NamesAndDataRoundTripThroughAnotherHandle) {
  const std::vector<std::pair<std::string, std::string>> values = {
      {"\xE5\x87\xAF\xE7\xB1\xB3\xE7\xBD\x97 - \xE5\xB7\xA5\xE5\x85\xB7",  // Chinese name
       "C:\\\xE7\xA8\x8B\xE5\xBA\x8F\\\xE5\xB7\xA5\xE5\x85\xB7 1\\quillet.exe"},
      {"Quillet \xF0\x9F\x93\x8B", "D:\\\xF0\x9F\x93\x8B\\q.exe"},  // outside the basic plane
      {"Empty", ""},
      {"Long", std::string(20'000, 'x') + "\xE4\xB8\xAD"},
      {"Spaces  and \"quotes\"", "  \"C:\\a b\\c.exe\" /arg  "},
  };
  {
    Win32RunKey run(kKeyPath);
    for (const auto& [name, data] : values) run.WriteString(name, data);
  }
  Win32RunKey reopened(kKeyPath);
  for (const auto& [name, data] : values) {
    EXPECT_EQ(reopened.ReadString(name), data) << name;
    EXPECT_EQ(ReadRaw(Widen(name)).units, Widen(data) + L'\0') << name;
  }
}

TEST_F(RegistryRunKeyTest, WriteReplacesAndDeleteRemovesOnlyThatValue) {
  Win32RunKey run(kKeyPath);
  run.WriteString("KALMIRO - Quillet", "C:\\old.exe");
  run.WriteString("Other", "C:\\other.exe");
  run.WriteString("KALMIRO - Quillet", "C:\\new.exe");
  EXPECT_EQ(run.ReadString("KALMIRO - Quillet"), "C:\\new.exe");

  run.DeleteValue("KALMIRO - Quillet");
  EXPECT_EQ(ReadRaw(L"KALMIRO - Quillet").type, static_cast<DWORD>(REG_NONE));
  EXPECT_EQ(run.ReadString("KALMIRO - Quillet"), "");
  run.DeleteValue("KALMIRO - Quillet");  // already gone
  EXPECT_EQ(run.ReadString("Other"), "C:\\other.exe");
}

TEST_F(RegistryRunKeyTest, ValuesThatAreNoTextReadAsEmpty) {
  Win32RunKey run(kKeyPath);
  run.WriteString("unused", "");  // creates Run
  const DWORD number = 1;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kRunPath.c_str(), L"Number", REG_DWORD, &number, sizeof number),
            ERROR_SUCCESS);
  const wchar_t expandable[] = L"%WINDIR%\\q.exe";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kRunPath.c_str(), L"Expandable", REG_EXPAND_SZ, expandable,
                            sizeof expandable),
            ERROR_SUCCESS);
  EXPECT_EQ(run.ReadString("Number"), "");
  EXPECT_EQ(run.ReadString("Expandable"), "%WINDIR%\\q.exe");  // as written, not expanded
}

TEST_F(RegistryRunKeyTest, WriteToADeletedKeyThrowsTheSystemsText) {
  Win32RunKey run(kKeyPath);
  ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, kScratchRoot), ERROR_SUCCESS);
  try {
    run.WriteString("KALMIRO - Quillet", "C:\\q.exe");
    FAIL() << "writing under a deleted key succeeded";
  } catch (const IoError& error) {
    EXPECT_NE(error.code(), 0u);
    EXPECT_EQ(std::string(error.what()), SystemErrorText(error.code()));
  }
  EXPECT_EQ(run.ReadString("KALMIRO - Quillet"), "");
}

TEST_F(RegistryRunKeyTest, LogOnOptionOnTheRealKey) {
  const std::string caption = "KALMIRO - Quillet";
  const std::string program = "C:\\\xE5\xB7\xA5\xE5\x85\xB7\\quillet.exe";
  Win32RunKey run(kKeyPath);
  EXPECT_FALSE(LogOnValuePresent(run, caption));
  EXPECT_TRUE(ToggleLogOn(run, caption, program, false));
  EXPECT_EQ(ReadRaw(Widen(caption)).units, Widen(program) + L'\0');
  Win32RunKey nextStart(kKeyPath);  // the next start opens the key anew and finds the option on
  EXPECT_TRUE(LogOnValuePresent(nextStart, caption));
  EXPECT_FALSE(ToggleLogOn(run, caption, program, true));
  EXPECT_FALSE(LogOnValuePresent(nextStart, caption));
}

}  // namespace
}  // namespace quillet
