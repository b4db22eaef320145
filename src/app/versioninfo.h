// The version record that the program reads from its own file.
#pragma once

#include <windows.h>

#include <string>

namespace quillet {

struct TEXEVersionData {
  std::wstring CompanyName, FileDescription, FileVersion, InternalName, LegalCopyright,
      LegalTrademarks, OriginalFileName, ProductName, ProductVersion, Comments, PrivateBuild,
      SpecialBuild;
};

// The operating system's error raised by ReadVersionData.
struct VersionDataError {
  DWORD code;
};

// Reads the string table of path's version resource (first translation). Throws
// VersionDataError with GetLastError() when the resource, the buffer or the translation
// can't be had; a missing field stays empty.
TEXEVersionData ReadVersionData(const std::wstring& path);
// "%d.%d" of the fixed file version's major and minor numbers; throws VersionDataError.
std::wstring ReadFixedVersionText(const std::wstring& path);

}  // namespace quillet
