#include "platform/win32/registry.h"

#include <algorithm>

#include "platform/file_system.h"
#include "platform/win32/win32_system.h"
#include "util/text.h"

namespace quillet {
namespace {

[[noreturn]] void ThrowRegistryError(LSTATUS status) {
  const auto code = static_cast<DWORD>(status);
  throw IoError(code, SystemErrorText(code));
}

}  // namespace

Win32RunKey::Win32RunKey(const std::string& keyPath, const std::string& subkey) : subkey_(Widen(subkey)) {
  HKEY key = nullptr;
  // A key that can't be opened must not stop the program from starting: reads then find
  // nothing and a write reports why.
  openError_ = RegCreateKeyExW(HKEY_CURRENT_USER, Widen(keyPath).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (openError_ == ERROR_SUCCESS) key_.reset(key);
}

std::string Win32RunKey::ReadString(const std::string& name) {
  if (!key_) return {};
  const std::wstring valueName = Widen(name);
  // RRF_NOEXPAND: an expandable string is read as written, as a plain string would be.
  const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  DWORD bytes = 0;
  LSTATUS status = RegGetValueW(key_.get(), subkey_.c_str(), valueName.c_str(), flags, nullptr, nullptr, &bytes);
  std::wstring data;
  // Sized by the first call; a value that grew in between reports its new size and is read again.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    data.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    status = RegGetValueW(key_.get(), subkey_.c_str(), valueName.c_str(), flags, nullptr, data.data(), &bytes);
    if (status == ERROR_SUCCESS) break;
  }
  if (status != ERROR_SUCCESS) return {};
  // A string value ends at its first NUL, whatever the stored size says.
  data.resize(std::min(data.find(L'\0'), static_cast<std::size_t>(bytes / sizeof(wchar_t))));
  return Narrow(data);
}

void Win32RunKey::WriteString(const std::string& name, const std::string& data) {
  if (!key_) ThrowRegistryError(openError_);
  HKEY subkey = nullptr;
  LSTATUS status = RegCreateKeyExW(key_.get(), subkey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_SET_VALUE, nullptr, &subkey, nullptr);
  if (status != ERROR_SUCCESS) ThrowRegistryError(status);
  const UniqueKey subkeyOwner(subkey);
  const std::wstring text = Widen(data);
  status = RegSetValueExW(subkey, Widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) ThrowRegistryError(status);
}

void Win32RunKey::DeleteValue(const std::string& name) {
  if (!key_) return;
  HKEY subkey = nullptr;
  LSTATUS status = RegOpenKeyExW(key_.get(), subkey_.c_str(), 0, KEY_SET_VALUE, &subkey);
  if (status == ERROR_FILE_NOT_FOUND) return;
  if (status != ERROR_SUCCESS) ThrowRegistryError(status);
  const UniqueKey subkeyOwner(subkey);
  status = RegDeleteValueW(subkey, Widen(name).c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) ThrowRegistryError(status);
}

}  // namespace quillet
