// Bytes of a settings.ini as the store reads them: the UTF-8 check, then the INI reader.
// What the reader keeps must be written back the same way on every later flush.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "store/ini_document.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The decoder's view of the same bytes must not fail on anything.
  const std::wstring wide = quillet::Widen(bytes);
  if (!quillet::IsValidUtf8(bytes)) return 0;  // the store deletes such a file
  if (quillet::Narrow(wide) != bytes) std::abort();  // valid UTF-8 survives a round trip

  const quillet::IniDocument document = quillet::IniDocument::Parse(bytes);
  const std::string first = document.Serialize();
  if (!quillet::IsValidUtf8(first)) std::abort();
  const quillet::IniDocument reread = quillet::IniDocument::Parse(first);
  const std::string second = reread.Serialize();
  if (first != second) std::abort();

  // The start-up reads over whatever was kept.
  for (const char* key : {"Left", "Width", "Wait", "OpenWith", "WindowState"}) {
    if (reread.ValueExists("Settings", key) != document.ValueExists("Settings", key)) std::abort();
    if (reread.ReadInteger("Settings", key, -1) != document.ReadInteger("Settings", key, -1)) std::abort();
    if (reread.ReadString("Settings", key, "") != document.ReadString("Settings", key, "")) std::abort();
  }
  return 0;
}
