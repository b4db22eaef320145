// The shell's "open" of web addresses pointed at recorder.exe (tests/tools) while an object of
// this lives, so a page that the program opens shows up in the recorder's log instead of
// starting a browser: nothing a test opens leaves the machine. Used by the Windows-layer and the
// end-to-end tests alike.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillet::test {

class WebAddressesToRecorder {
 public:
  explicit WebAddressesToRecorder(const std::wstring& recorder) {
    for (const wchar_t* scheme : {L"https", L"http"}) {
      const std::wstring key = std::wstring(L"Software\\Classes\\") + scheme + L"\\shell\\open\\command";
      wchar_t old[1024] = {};
      DWORD size = sizeof old;
      const bool had = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, old, &size) ==
                       ERROR_SUCCESS;
      saved_.push_back({key, had ? std::optional<std::wstring>(old) : std::nullopt});
      const std::wstring command = L"\"" + recorder + L"\" \"%1\"";
      RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, command.c_str(),
                      static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
  }
  ~WebAddressesToRecorder() {
    for (const auto& [key, old] : saved_) {
      if (old) {
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, old->c_str(),
                        static_cast<DWORD>((old->size() + 1) * sizeof(wchar_t)));
      } else {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr);
      }
    }
  }
  WebAddressesToRecorder(const WebAddressesToRecorder&) = delete;
  WebAddressesToRecorder& operator=(const WebAddressesToRecorder&) = delete;

 private:
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved_;
};

}  // namespace quillet::test
