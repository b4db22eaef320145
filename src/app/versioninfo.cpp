// Reading the version record of a program file.
#include "app/versioninfo.h"

#include <winver.h>

#include <cstdio>
#include <utility>
#include <vector>

namespace quillet {
namespace {

[[noreturn]] void ThrowLastError() { throw VersionDataError{GetLastError()}; }

std::vector<unsigned char> LoadVersionResource(const std::wstring& path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) ThrowLastError();
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) ThrowLastError();
  return block;
}

}  // namespace

TEXEVersionData ReadVersionData(const std::wstring& path) {
  std::vector<unsigned char> block = LoadVersionResource(path);

  struct LanguageAndCodePage {
    WORD language;
    WORD codePage;
  };
  LanguageAndCodePage* translation = nullptr;
  UINT translationBytes = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                      &translationBytes) ||
      translationBytes < sizeof(LanguageAndCodePage)) {
    ThrowLastError();
  }
  wchar_t key[9];
  std::swprintf(key, 9, L"%04X%04X", translation->language, translation->codePage);

  TEXEVersionData data;
  // The fields in the order of the record; a field the string table lacks stays empty.
  const std::pair<const wchar_t*, std::wstring*> fields[] = {
      {L"CompanyName", &data.CompanyName},         {L"FileDescription", &data.FileDescription},
      {L"FileVersion", &data.FileVersion},         {L"InternalName", &data.InternalName},
      {L"LegalCopyright", &data.LegalCopyright},   {L"LegalTrademarks", &data.LegalTrademarks},
      {L"OriginalFilename", &data.OriginalFileName}, {L"ProductName", &data.ProductName},
      {L"ProductVersion", &data.ProductVersion},   {L"Comments", &data.Comments},
      {L"PrivateBuild", &data.PrivateBuild},       {L"SpecialBuild", &data.SpecialBuild},
  };
  for (const auto& [name, field] : fields) {
    const std::wstring subBlock = std::wstring(L"\\StringFileInfo\\") + key + L"\\" + name;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), subBlock.c_str(), reinterpret_cast<void**>(&value), &length) && value)
      field->assign(value);  // zero-terminated; length may or may not count the zero
  }
  return data;
}

std::wstring ReadFixedVersionText(const std::wstring& path) {
  std::vector<unsigned char> block = LoadVersionResource(path);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof(VS_FIXEDFILEINFO))
    ThrowLastError();
  wchar_t text[32];
  std::swprintf(text, 32, L"%d.%d", static_cast<int>(HIWORD(fixed->dwFileVersionMS)),
                static_cast<int>(LOWORD(fixed->dwFileVersionMS)));
  return text;
}

}  // namespace quillet
