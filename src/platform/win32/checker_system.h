// What the update check needs from Windows: the update key in the per-user registry, the
// machine's identity, locale, system description and date, the "IMPORTANT" message box and
// the WinHTTP transport. Everything here may be used from the checker's own thread.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/win32/unique_handle.h"
#include "platform/win32/winhttp_transport.h"
#include "service/checker.h"

namespace quillet {

// Where the machine's identity lives under HKEY_LOCAL_MACHINE.
inline constexpr char kMachineGuidKeyPath[] = "SOFTWARE\\Microsoft\\Cryptography";

// The update key, opened with full access (created when missing) and kept open for the life of
// the object; its values are REG_SZ values of the subkey "Settings". The check names the key by
// its path under HKEY_CURRENT_USER; tests pass a scratch key that stands in for
// HKEY_CURRENT_USER itself.
class Win32UpdateKey final : public UpdateKeyStore {
 public:
  explicit Win32UpdateKey(std::string scratchRoot = "");

  // keyPath: "SOFTWARE\Microsoft\VS\ServiceModules\<key name>" (a final "\" is ignored).
  // Throws IoError with the system's text when the key can't be created or opened.
  void Open(const std::string& keyPath) override;
  // nullopt when the key is not open, the value is missing or it is not a string.
  std::optional<std::string> Read(const std::string& name) override;
  // Creates "Settings" when missing. Throws IoError when the key is not open or the write fails.
  void Write(const std::string& name, const std::string& value) override;

 private:
  std::string scratchRoot_;
  UniqueKey key_;
};

// The machine's identity as stored: "MachineGuid" under HKLM keyPath, read in the 64-bit view
// of the registry so a 32-bit build reads what a 64-bit one does. "" when the key or the value
// is missing; throws IoError when the value is not a string.
std::string ReadMachineGuid(const std::string& keyPath = kMachineGuidKeyPath);

// "xx-YY" from the locale's ISO 639 language and ISO 3166 country codes ("zh-CN"); 0 stands for
// 1033 (English, United States). "xx" when the system does not support the locale or can't
// name it.
std::string LocaleNameOf(LCID locale);

// The system's marketing name from its version numbers and product type ("Windows 10",
// "Windows Server 2019", "Windows 7").
std::string WindowsProductName(DWORD major, DWORD minor, DWORD build, bool isWorkstation);

// The running system's description as the service is told it (RtlGetVersion, so the numbers
// are true whatever the program's manifest says), e.g.
// "Windows 10 (Version 10.0, Build 19045, 64-bit Edition)".
std::string RunningSystemDescription();

// Today's date in the user's short date format.
std::string ShortDateText();

// Construct on the user-interface thread: it keeps that thread's locale as it is at that moment
// and finds the owner of the "IMPORTANT" message box among that thread's windows.
class Win32CheckerSystem final : public CheckerSystem {
 public:
  struct Options {
    std::string updateKeyScratchRoot;  // "" for HKEY_CURRENT_USER itself
    std::string machineGuidKeyPath = kMachineGuidKeyPath;
  };
  Win32CheckerSystem();
  explicit Win32CheckerSystem(Options options);

  std::string MachineGuidText() override;
  std::string LocaleNameText() override;
  std::string OsDescription() override;
  std::string ShortDateToday() override;
  // Owned by the user-interface thread's active window when it has one; returns when closed.
  void ShowImportant(const std::string& text) override;
  UpdateKeyStore& Key() override { return key_; }
  Transport& Network() override { return transport_; }

 private:
  std::string machineGuidKeyPath_;
  LCID startLocale_;
  DWORD interfaceThread_;
  Win32UpdateKey key_;
  WinHttpTransport transport_;
};

}  // namespace quillet
