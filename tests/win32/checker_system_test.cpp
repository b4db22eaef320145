// What the update check gets from Windows, against the real system: the update key on a
// scratch root, the machine identity (the prefix's own value is put back after each test),
// the locale name, the system description, the date and the "IMPORTANT" box.
#include "platform/win32/checker_system.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "../shared/service_cases.h"
#include "loopback_server.h"
#include "modal_script.h"
#include "platform/file_system.h"
#include "service/service_request.h"
#include "util/text.h"

namespace quillet {
namespace {

// Stands in for HKEY_CURRENT_USER.
constexpr wchar_t kScratchRoot[] = L"Software\\QuilletTests-UpdateKey";
const std::string kRoot = "Software\\QuilletTests-UpdateKey";
const std::string kParent = "SOFTWARE\\Microsoft\\VS\\ServiceModules\\";
const std::string kKeyPath = kParent + "0123456789ABCDEF0123456789ABCDEF";

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Widen(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

DWORD StoredType(const std::string& path, const std::string& name) {
  DWORD type = REG_NONE;
  RegGetValueW(HKEY_CURRENT_USER, Widen(path).c_str(), Widen(name).c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
               nullptr, nullptr);
  return type;
}

class UpdateKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kScratchRoot); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kScratchRoot); }
  const std::string settingsPath_ = kRoot + "\\" + kKeyPath + "\\Settings";
};

TEST_F(UpdateKeyTest, BeforeOpeningNothingReadsAndAWriteThrows) {
  Win32UpdateKey key(kRoot);
  EXPECT_EQ(key.Read("HowMany"), std::nullopt);
  EXPECT_THROW(key.Write("HowMany", "1"), IoError);
  EXPECT_FALSE(KeyExists(kRoot));
}

TEST_F(UpdateKeyTest, OpeningCreatesTheKeyAndSettingsValuesRoundTripAsPlainStrings) {
  Win32UpdateKey key(kRoot);
  key.Open(kKeyPath);
  EXPECT_TRUE(KeyExists(kRoot + "\\" + kKeyPath));
  EXPECT_EQ(key.Read("InstalledVersion"), std::nullopt);

  const std::vector<std::pair<std::string, std::string>> values = {
      {"HowMany", "2147483648"},
      {"InstalledVersion", "3.1"},
      {"CurrentURL", "8F00A1B2"},
      {"LastUpdateInform", "2026/12/10"},
      {"\xE5\x90\x8D\xE7\xA7\xB0", "\xE6\x9B\xB4\xE6\x96\xB0 \xF0\x9F\x93\x8B"},  // Chinese and outside the basic plane
      {"Empty", ""},
      {"Long", std::string(10'000, 'v')},
  };
  for (const auto& [name, value] : values) key.Write(name, value);
  for (const auto& [name, value] : values) {
    SCOPED_TRACE(name);
    EXPECT_EQ(key.Read(name), value);
    EXPECT_EQ(StoredType(settingsPath_, name), static_cast<DWORD>(REG_SZ));
  }
  // A second object sees the same values: they live in the registry, not in the object.
  Win32UpdateKey again(kRoot);
  again.Open(kKeyPath);
  EXPECT_EQ(again.Read("InstalledVersion"), "3.1");
}

TEST_F(UpdateKeyTest, AValueOfAnotherTypeReadsAsMissing) {
  Win32UpdateKey key(kRoot);
  key.Open(kKeyPath);
  key.Write("HowMany", "5");
  const DWORD number = 5;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, Widen(settingsPath_).c_str(), L"ShowUpdate", REG_DWORD, &number,
                            sizeof number),
            ERROR_SUCCESS);
  EXPECT_EQ(key.Read("ShowUpdate"), std::nullopt);
  EXPECT_EQ(key.Read("HowMany"), "5");
}

TEST_F(UpdateKeyTest, WithoutAKeyNameTheParentIsTheKey) {
  Win32UpdateKey key(kRoot);
  key.Open(kParent);
  key.Write("HowMany", "1");
  EXPECT_EQ(StoredType(kRoot + "\\" + kParent + "Settings", "HowMany"), static_cast<DWORD>(REG_SZ));
}

TEST_F(UpdateKeyTest, AKeyThatCannotBeCreatedThrows) {
  Win32UpdateKey key(kRoot);
  // Registry key names are limited to 255 characters.
  EXPECT_THROW(key.Open(kParent + std::string(300, 'K')), IoError);
  EXPECT_THROW(key.Write("HowMany", "1"), IoError);
}

TEST_F(UpdateKeyTest, OpenedOnOneThreadAndUsedOnAnother) {
  Win32UpdateKey key(kRoot);
  std::thread checker([&] {
    key.Open(kKeyPath);
    key.Write("ShowUpdate", "1");
  });
  checker.join();
  key.Write("ShowUpdate", "0");
  EXPECT_EQ(key.Read("ShowUpdate"), "0");
}

// The secure attempt fails against a plain server; the plain one is answered, and the download
// address it names is used only where a plain answer may choose one.
TEST_F(UpdateKeyTest, AWholeCheckThroughWinHttpKeepsItsStateInTheKey) {
  using namespace test::service_cases;
  for (const PlainOfferCase& c : kPlainOfferCases) {
    SCOPED_TRACE(c.what);
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratchRoot);
    testing::LoopbackServer service(testing::CannedReply{
        testing::HttpResponse("200 OK", "Content-Type: text/plain; charset=utf-8\r\n", OfferAnswer(c.offered))});
    Win32CheckerSystem::Options options;
    options.updateKeyScratchRoot = kRoot;
    Win32CheckerSystem system(options);
    const CheckerInput input{"KALMIRO - Quillet", "3.1", "127.0.0.1:" + std::to_string(service.port()) + "/check",
                             kPlainOfferDefault};
    CheckResult result;
    std::thread checker([&] { RunCheck(system, input, result); });
    checker.join();

    ASSERT_TRUE(result.done.load(std::memory_order_acquire));
    EXPECT_FALSE(result.error) << result.errorLog;
    EXPECT_TRUE(result.newVersionFound);
    EXPECT_EQ(result.newVersionText, "3.2");
    const std::string used = c.used ? c.offered : kPlainOfferDefault;
    EXPECT_EQ(result.downloadAddress, used);

    Win32UpdateKey key(kRoot);
    key.Open(kParent + Md5Hex(input.appName));
    EXPECT_EQ(key.Read("HowMany"), "1");
    EXPECT_EQ(key.Read("InstalledVersion"), "3.1");
    EXPECT_EQ(key.Read("CurrentVersion"), "3.2");
    EXPECT_EQ(key.Read("CurrentURL"), EncodeStored(used, kStoredSeed));
    EXPECT_EQ(key.Read("LastUpdateInform"), ShortDateText());

    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::vector<std::pair<std::string, std::string>> fields = testing::FormFields(requests[0].body);
    ASSERT_EQ(fields.size(), 7u);
    EXPECT_EQ(fields[0], (std::pair<std::string, std::string>("cmd", "check")));
    EXPECT_EQ(fields[1], (std::pair<std::string, std::string>("appname", input.appName)));
    EXPECT_EQ(fields[2], (std::pair<std::string, std::string>("version", "3.1")));
    EXPECT_EQ(fields[3], (std::pair<std::string, std::string>("os", RunningSystemDescription())));
    EXPECT_EQ(fields[4], (std::pair<std::string, std::string>("local", system.LocaleNameText())));
    EXPECT_EQ(fields[5], (std::pair<std::string, std::string>("guid", ReadMachineGuid())));
    EXPECT_EQ(fields[6], (std::pair<std::string, std::string>("howmany", "1")));
  }
}

// The prefix's real MachineGuid is read first and put back after every test.
class MachineGuidTest : public ::testing::Test {
 protected:
  static constexpr wchar_t kPath[] = L"SOFTWARE\\Microsoft\\Cryptography";
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, 0, KEY_READ | KEY_WRITE | KEY_WOW64_64KEY,
                              nullptr, &key_, nullptr),
              ERROR_SUCCESS);
    DWORD bytes = 0;
    if (RegQueryValueExW(key_, L"MachineGuid", nullptr, &originalType_, nullptr, &bytes) == ERROR_SUCCESS) {
      original_.emplace(bytes, '\0');
      RegQueryValueExW(key_, L"MachineGuid", nullptr, &originalType_, reinterpret_cast<BYTE*>(original_->data()),
                       &bytes);
    }
  }
  void TearDown() override {
    if (original_) {
      RegSetValueExW(key_, L"MachineGuid", 0, originalType_, reinterpret_cast<const BYTE*>(original_->data()),
                     static_cast<DWORD>(original_->size()));
    } else {
      RegDeleteValueW(key_, L"MachineGuid");
    }
    RegCloseKey(key_);
  }
  void Store(DWORD type, const void* data, DWORD bytes) {
    ASSERT_EQ(RegSetValueExW(key_, L"MachineGuid", 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
  }
  void StoreText(DWORD type, const std::wstring& text) {
    Store(type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

  HKEY key_ = nullptr;
  DWORD originalType_ = REG_NONE;
  std::optional<std::string> original_;  // the raw bytes
};

TEST_F(MachineGuidTest, TheStoredTextComesBackAsStored) {
  const std::string guids[] = {"5c3a2a9e-1f7b-4e2d-9a51-0b6c7d8e9f10", "{NOT-A-GUID} \xE4\xB8\xAD", ""};
  for (const std::string& guid : guids) {
    SCOPED_TRACE(guid);
    StoreText(REG_SZ, Widen(guid));
    EXPECT_EQ(ReadMachineGuid(), guid);
    EXPECT_EQ(Win32CheckerSystem().MachineGuidText(), guid);
  }
  // An expandable string is still text, and is not expanded.
  StoreText(REG_EXPAND_SZ, L"%WINDIR%-guid");
  EXPECT_EQ(ReadMachineGuid(), "%WINDIR%-guid");
}

TEST_F(MachineGuidTest, AMissingValueOrKeyGivesEmptyText) {
  RegDeleteValueW(key_, L"MachineGuid");
  EXPECT_EQ(ReadMachineGuid(), "");
  EXPECT_EQ(ReadMachineGuid("SOFTWARE\\QuilletTests-NoSuchKey\\Cryptography"), "");
  Win32CheckerSystem::Options options;
  options.machineGuidKeyPath = "SOFTWARE\\QuilletTests-NoSuchKey\\Cryptography";
  EXPECT_EQ(Win32CheckerSystem(options).MachineGuidText(), "");
}

TEST_F(MachineGuidTest, AValueThatIsNotTextThrows) {
  const DWORD number = 42;
  Store(REG_DWORD, &number, sizeof number);
  EXPECT_THROW(ReadMachineGuid(), IoError);
  const unsigned char bytes[] = {1, 2, 3};
  Store(REG_BINARY, bytes, sizeof bytes);
  EXPECT_THROW(Win32CheckerSystem().MachineGuidText(), IoError);
}

TEST(LocaleNameTest, IsoLanguageAndCountryOrXx) {
  const struct {
    LCID locale;
    const char* name;
  } cases[] = {
      {0x0804, "zh-CN"}, {0x0404, "zh-TW"}, {0x0409, "en-US"}, {0x0407, "de-DE"},
      {0x0411, "ja-JP"}, {0, "en-US"},      {0x7777, "xx"},    {0x12345, "xx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    EXPECT_EQ(LocaleNameOf(c.locale), c.name);
  }
}

TEST(LocaleNameTest, TheSystemKeepsTheLocaleItWasMadeWithForEveryThread) {
  const LCID before = GetThreadLocale();
  SetThreadLocale(0x0804);
  Win32CheckerSystem system;
  SetThreadLocale(before);
  EXPECT_EQ(system.LocaleNameText(), "zh-CN");
  std::string fromChecker;
  std::thread checker([&] { fromChecker = system.LocaleNameText(); });
  checker.join();
  EXPECT_EQ(fromChecker, "zh-CN");
  EXPECT_TRUE(std::regex_match(Win32CheckerSystem().LocaleNameText(), std::regex("[a-z]{2,3}-[A-Z]{2}|xx")));
}

TEST(SystemDescriptionTest, NamesFromVersionNumbers) {
  const struct {
    DWORD major, minor, build;
    bool workstation;
    const char* name;
  } cases[] = {
      {10, 0, 19045, true, "Windows 10"},          {10, 0, 22631, true, "Windows 11"},
      {10, 0, 17763, false, "Windows Server 2019"}, {10, 0, 20348, false, "Windows Server 2022"},
      {10, 0, 14393, false, "Windows Server 2016"}, {6, 3, 9600, true, "Windows 8.1"},
      {6, 2, 9200, false, "Windows Server 2012"},   {6, 1, 7601, true, "Windows 7"},
      {6, 1, 7601, false, "Windows Server 2008 R2"}, {6, 0, 6002, true, "Windows Vista"},
      {5, 1, 2600, true, "Windows XP"},            {11, 0, 1, true, "Windows"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WindowsProductName(c.major, c.minor, c.build, c.workstation), c.name);
  }
}

TEST(SystemDescriptionTest, TheRunningSystemInTheServicesForm) {
  const std::string description = Win32CheckerSystem().OsDescription();
  std::smatch parts;
  ASSERT_TRUE(std::regex_match(description, parts,
                               std::regex(R"((Windows[^(]*?)( Service Pack \d+)? \(Version (\d+)\.(\d+), )"
                                          R"(Build (\d+), (32|64)-bit Edition\))")))
      << description;
  // The numbers are the system's own, not what a program without a manifest entry is told.
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  ASSERT_NE(rtlGetVersion, nullptr);
  rtlGetVersion(&info);
  EXPECT_EQ(parts[3].str(), std::to_string(info.dwMajorVersion));
  EXPECT_EQ(parts[4].str(), std::to_string(info.dwMinorVersion));
  EXPECT_EQ(parts[5].str(), std::to_string(info.dwBuildNumber));
  // This test program is a 64-bit one, so the system is too.
  EXPECT_EQ(parts[6].str(), "64");
}

TEST(ShortDateTest, TodayInTheUsersShortFormat) {
  const std::string today = Win32CheckerSystem().ShortDateToday();
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t expected[80] = {};
  ASSERT_GT(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, expected, 80), 0);
  EXPECT_EQ(today, Narrow(expected));
  EXPECT_NE(today.find(std::to_string(now.wYear % 100)), std::string::npos);
}

// The message box of this process whose caption is "IMPORTANT"; nullptr while there is none.
HWND FindImportantBox() {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t caption[32] = {};
        GetWindowTextW(window, caption, 32);
        if (process != GetCurrentProcessId() || std::wstring(caption) != L"IMPORTANT") return TRUE;
        reinterpret_cast<Search*>(data)->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

TEST(ImportantBoxTest, ShownFromTheCheckerThreadOverTheActiveWindowUntilClosed) {
  const HWND mainWindow = CreateWindowExW(0, L"STATIC", L"Quillet", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300,
                                          200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(mainWindow, nullptr);
  SetActiveWindow(mainWindow);
  Win32CheckerSystem system;
  const std::string message = "\xE8\xAF\xB7\xE6\x9B\xB4\xE6\x96\xB0\r\rPlease update.";  // 请更新
  std::atomic<bool> returned{false};
  std::thread checker([&] {
    system.ShowImportant(message);
    returned = true;
  });

  // The window thread keeps pumping, as the program's does, while it looks for the box.
  HWND box = nullptr;
  testing::PumpUntil([&] {
    box = FindImportantBox();
    return box != nullptr;
  });
  ASSERT_NE(box, nullptr);
  wchar_t text[256] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 256);  // the message box's text control
  EXPECT_EQ(Narrow(text), message);
  EXPECT_EQ(GetWindow(box, GW_OWNER), mainWindow);
  EXPECT_FALSE(returned);

  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(testing::PumpUntil([&] { return returned.load(); }));
  if (!returned) PostMessageW(box, WM_CLOSE, 0, 0);
  checker.join();
  DestroyWindow(mainWindow);
}

}  // namespace
}  // namespace quillet
