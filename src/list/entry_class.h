// What an entry is, decided when it is opened or exported: web address, folder or other.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

enum class EntryClass { WebAddress, Folder, Other };

// What the folder test needs from the file system (GetFileAttributesW / CreateFileW).
class FolderProbe {
 public:
  struct Attributes {
    bool ok = false;             // the attributes could be read
    std::uint32_t attributes = 0;  // FILE_ATTRIBUTE_* bits when ok
    std::uint32_t error = 0;     // the system error code when not ok
  };
  virtual ~FolderProbe() = default;
  virtual Attributes GetAttributes(const std::string& path) = 0;
  // Opens path for reading with backup semantics, following a link; true when a handle came
  // back (it is closed again at once).
  virtual bool OpenFollowingLink(const std::string& path) = 0;
};

inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;

// The text, ASCII letters lowered, begins with "http".
bool IsWebAddress(std::string_view text);
bool FolderTest(const std::string& text, FolderProbe& probe);
EntryClass Classify(const std::string& text, FolderProbe& probe);

}  // namespace quillet
