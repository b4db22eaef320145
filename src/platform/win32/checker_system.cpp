#include "platform/win32/checker_system.h"

#include <algorithm>
#include <utility>

#include "platform/file_system.h"
#include "platform/win32/win32_system.h"
#include "util/text.h"

namespace quillet {
namespace {

[[noreturn]] void ThrowRegistryError(LSTATUS status) {
  const auto code = static_cast<DWORD>(status);
  throw IoError(code, SystemErrorText(code));
}

// A string value (REG_SZ, or REG_EXPAND_SZ read unexpanded) of key or of its subkey. Returns the
// registry's status: ERROR_FILE_NOT_FOUND for a missing value, ERROR_UNSUPPORTED_TYPE for a
// value of another type.
LSTATUS ReadStringValue(HKEY key, const wchar_t* subkey, const std::string& name, std::string& text) {
  const std::wstring valueName = Widen(name);
  const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  DWORD bytes = 0;
  LSTATUS status = RegGetValueW(key, subkey, valueName.c_str(), flags, nullptr, nullptr, &bytes);
  std::wstring data;
  // Sized by the first call; a value that grew in between reports its new size and is read again.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    data.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    status = RegGetValueW(key, subkey, valueName.c_str(), flags, nullptr, data.data(), &bytes);
    if (status == ERROR_SUCCESS) break;
  }
  if (status != ERROR_SUCCESS) return status;
  // A string ends at its first NUL, whatever the stored size says.
  const std::size_t units = bytes / sizeof(wchar_t);
  data.resize(std::min(data.find(L'\0'), units));
  text = Narrow(data);
  return ERROR_SUCCESS;
}

constexpr wchar_t kSettingsSubkey[] = L"Settings";

}  // namespace

Win32UpdateKey::Win32UpdateKey(std::string scratchRoot) : scratchRoot_(std::move(scratchRoot)) {}

void Win32UpdateKey::Open(const std::string& keyPath) {
  // Without a key name (the digest failed) the path ends in "\" and its parent is the key.
  std::string path = keyPath;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  if (!scratchRoot_.empty()) path = path.empty() ? scratchRoot_ : scratchRoot_ + "\\" + path;
  HKEY key = nullptr;
  const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) ThrowRegistryError(status);
  key_.reset(key);
}

std::optional<std::string> Win32UpdateKey::Read(const std::string& name) {
  if (!key_) return std::nullopt;
  std::string text;
  if (ReadStringValue(key_.get(), kSettingsSubkey, name, text) != ERROR_SUCCESS) return std::nullopt;
  return text;
}

void Win32UpdateKey::Write(const std::string& name, const std::string& value) {
  if (!key_) ThrowRegistryError(ERROR_INVALID_HANDLE);
  HKEY settings = nullptr;
  LSTATUS status = RegCreateKeyExW(key_.get(), kSettingsSubkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                   nullptr, &settings, nullptr);
  if (status != ERROR_SUCCESS) ThrowRegistryError(status);
  const UniqueKey settingsOwner(settings);
  const std::wstring data = Widen(value);
  status = RegSetValueExW(settings, Widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) ThrowRegistryError(status);
}

std::string ReadMachineGuid(const std::string& keyPath) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Widen(keyPath).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS) {
    return {};
  }
  const UniqueKey keyOwner(key);
  std::string guid;
  const LSTATUS status = ReadStringValue(key, nullptr, "MachineGuid", guid);
  if (status == ERROR_FILE_NOT_FOUND) return {};
  if (status == ERROR_UNSUPPORTED_TYPE) {
    throw IoError(static_cast<DWORD>(status), "Invalid data type for 'MachineGuid'");
  }
  if (status != ERROR_SUCCESS) ThrowRegistryError(status);
  return guid;
}

std::string LocaleNameOf(LCID locale) {
  if (locale == 0) locale = 1033;
  if (!IsValidLocale(locale, LCID_SUPPORTED)) return "xx";
  // ISO codes are at most eight characters and a NUL.
  wchar_t language[9] = {};
  wchar_t country[9] = {};
  if (GetLocaleInfoW(locale, LOCALE_SISO639LANGNAME, language, 9) == 0 ||
      GetLocaleInfoW(locale, LOCALE_SISO3166CTRYNAME, country, 9) == 0) {
    return "xx";
  }
  return Narrow(language) + "-" + Narrow(country);
}

std::string WindowsProductName(DWORD major, DWORD minor, DWORD build, bool isWorkstation) {
  if (major == 10 && minor == 0) {
    if (isWorkstation) return build >= 22000 ? "Windows 11" : "Windows 10";
    if (build >= 26100) return "Windows Server 2025";
    if (build >= 20348) return "Windows Server 2022";
    if (build >= 17763) return "Windows Server 2019";
    return "Windows Server 2016";
  }
  if (major == 6) {
    switch (minor) {
      case 0: return isWorkstation ? "Windows Vista" : "Windows Server 2008";
      case 1: return isWorkstation ? "Windows 7" : "Windows Server 2008 R2";
      case 2: return isWorkstation ? "Windows 8" : "Windows Server 2012";
      case 3: return isWorkstation ? "Windows 8.1" : "Windows Server 2012 R2";
      default: break;
    }
  }
  if (major == 5 && minor == 1) return "Windows XP";
  if (major == 5 && minor == 2) return isWorkstation ? "Windows XP" : "Windows Server 2003";
  return "Windows";
}

std::string RunningSystemDescription() {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  // GetVersionExW reports 6.2 to a program without the newest systems in its manifest;
  // RtlGetVersion always tells the truth.
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  bool known = false;
  if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
    if (auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))) {
      known = rtlGetVersion(&info) == 0;
    }
  }
  if (!known) GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
  SYSTEM_INFO system{};
  GetNativeSystemInfo(&system);
  const WORD architecture = system.wProcessorArchitecture;
  const bool is64BitSystem = architecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                             architecture == PROCESSOR_ARCHITECTURE_ARM64 ||
                             architecture == PROCESSOR_ARCHITECTURE_IA64;
  const bool isWorkstation = info.wProductType == VER_NT_WORKSTATION || info.wProductType == 0;
  return OsDescriptionText(
      WindowsProductName(info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber, isWorkstation),
      info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber, info.wServicePackMajor, is64BitSystem);
}

std::string ShortDateText() {
  const int units = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, nullptr, 0, nullptr);
  std::wstring date(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
  if (units <= 0 ||
      GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date.data(), units, nullptr) == 0) {
    const DWORD code = GetLastError();
    throw IoError(code, SystemErrorText(code));
  }
  date.resize(static_cast<std::size_t>(units - 1));  // the NUL
  return Narrow(date);
}

Win32CheckerSystem::Win32CheckerSystem() : Win32CheckerSystem(Options{}) {}

Win32CheckerSystem::Win32CheckerSystem(Options options)
    : machineGuidKeyPath_(std::move(options.machineGuidKeyPath)),
      startLocale_(GetThreadLocale()),
      interfaceThread_(GetCurrentThreadId()),
      key_(std::move(options.updateKeyScratchRoot)) {}

std::string Win32CheckerSystem::MachineGuidText() { return ReadMachineGuid(machineGuidKeyPath_); }

std::string Win32CheckerSystem::LocaleNameText() { return LocaleNameOf(startLocale_); }

std::string Win32CheckerSystem::OsDescription() { return RunningSystemDescription(); }

std::string Win32CheckerSystem::ShortDateToday() { return ShortDateText(); }

void Win32CheckerSystem::ShowImportant(const std::string& text) {
  // The checker's thread has no windows of its own; the box belongs to the window the user is
  // working in, so it stays in front of it.
  GUITHREADINFO threadInfo{};
  threadInfo.cbSize = sizeof threadInfo;
  const HWND owner = GetGUIThreadInfo(interfaceThread_, &threadInfo) ? threadInfo.hwndActive : nullptr;
  MessageBoxW(owner, Widen(text).c_str(), L"IMPORTANT", MB_OK | MB_ICONWARNING);
}

}  // namespace quillet
