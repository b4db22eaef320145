#include "app/recent_lists.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <system_error>
#include <thread>

#include "store/list_files.h"
#include "util/text.h"

namespace quillet {

void AddToRecentLists(const std::string& fileName) {
  if (ListFileKindOf(fileName) != ListFileKind::ListFormat) return;
  const std::wstring name = Widen(fileName);
  const DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (size == 0) return;
  std::wstring fullName(size, L'\0');
  const DWORD length = GetFullPathNameW(name.c_str(), size, fullName.data(), nullptr);
  if (length == 0 || length >= size) return;
  fullName.resize(length);
  // The shell writes a shortcut into the user's Recent folder, which may lie on a network
  // share; the window goes on meanwhile. The shortcut is made through COM.
  try {
    std::thread([fullName = std::move(fullName)] {
      const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      SHAddToRecentDocs(SHARD_PATHW, fullName.c_str());
      if (SUCCEEDED(com)) CoUninitialize();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the list was saved or read all the same, only the jump list misses it.
  }
}

}  // namespace quillet
