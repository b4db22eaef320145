// A scratch folder under the system's temporary folder, removed with everything in it.
#pragma once

#include <windows.h>

#include <string>

#include "util/text.h"

namespace quillet::testing {

class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    path_ = Narrow(base) + "quillet-w32-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    CreateDirectoryW(Widen(path_).c_str(), nullptr);
  }
  ~TempFolder() { RemoveTree(Widen(path_)); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder without a trailing "\".
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

  void MakeFolder(const std::string& relative, DWORD attributes = 0) const {
    const std::wstring full = Widen(*this / relative);
    CreateDirectoryW(full.c_str(), nullptr);
    if (attributes) SetFileAttributesW(full.c_str(), attributes);
  }
  void WriteFile(const std::string& relative, const std::string& bytes) const {
    HANDLE file = CreateFileW(Widen(*this / relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }

 private:
  static void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring full = folder + L"\\" + name;
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
          RemoveTree(full);
        else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveDirectoryW(full.c_str());
        else
          DeleteFileW(full.c_str());
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
  }

  std::string path_;
};

}  // namespace quillet::testing
