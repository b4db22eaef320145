#include "list/entry_class.h"

#include "util/text.h"

namespace quillet {
namespace {

// Errors that say the path is simply not there (or can't be a path); any other failure,
// such as access denied, means something is there, and it is treated as a folder.
bool MeansNothingThere(std::uint32_t error) {
  switch (error) {
    case 2:    // file not found
    case 3:    // path not found
    case 21:   // device not ready
    case 53:   // network path not found
    case 67:   // network name not found
    case 123:  // invalid name
    case 161:  // bad path name
      return true;
    default:
      return false;
  }
}

}  // namespace

bool IsWebAddress(std::string_view text) {
  return text.size() >= 4 && EqualsIgnoreAsciiCase(text.substr(0, 4), "http");
}

bool FolderTest(const std::string& text, FolderProbe& probe) {
  const FolderProbe::Attributes attributes = probe.GetAttributes(text);
  if (!attributes.ok) return !MeansNothingThere(attributes.error);
  const bool isDirectory = (attributes.attributes & kAttributeDirectory) != 0;
  if ((attributes.attributes & kAttributeReparsePoint) == 0) return isDirectory;
  // A link counts only when its target can be reached.
  if (!probe.OpenFollowingLink(text)) return false;
  return isDirectory;
}

EntryClass Classify(const std::string& text, FolderProbe& probe) {
  if (IsWebAddress(text)) return EntryClass::WebAddress;
  if (FolderTest(text, probe)) return EntryClass::Folder;
  return EntryClass::Other;
}

}  // namespace quillet
