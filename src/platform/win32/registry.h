// The per-user Run key, where the log-on value lives.
#pragma once

#include <windows.h>

#include <string>

#include "platform/registry.h"
#include "platform/win32/unique_handle.h"

namespace quillet {

// Opens HKEY_CURRENT_USER\keyPath with full access at construction (creating it when missing)
// and keeps it open for its lifetime; the values it reads and writes are REG_SZ values of the
// subkey below it, which a write creates when missing. Tests pass a scratch key path.
class Win32RunKey final : public RegistryValues {
 public:
  explicit Win32RunKey(const std::string& keyPath = "Software\\Microsoft\\Windows\\CurrentVersion",
                       const std::string& subkey = "Run");

  std::string ReadString(const std::string& name) override;
  void WriteString(const std::string& name, const std::string& data) override;
  void DeleteValue(const std::string& name) override;

 private:
  UniqueKey key_;
  // Why the key could not be opened; a write reports it.
  LSTATUS openError_ = ERROR_SUCCESS;
  std::wstring subkey_;
};

}  // namespace quillet
