// What an entry is, decided when it is opened or exported: web address, folder or other.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace quillet {

enum class EntryClass { WebAddress, Folder, Other };

// The text, ASCII letters lowered, begins with "http".
bool IsWebAddress(std::string_view text);
bool FolderTest(const std::string& text, FolderProbe& probe);
EntryClass Classify(const std::string& text, FolderProbe& probe);

}  // namespace quillet
