// The system's recent documents, for list files: the taskbar's jump list and Explorer's recent
// items offer the lists the user saved or loaded, and open them again in the program.
#pragma once

#include <string>

namespace quillet {

// Adds a list file in the list format (.qlst) that was just saved or read to the user's recent
// documents; any other name (a text list, a batch file) is left out, since only the list format
// opens in the program from there. A name relative to the working folder is made full first.
// Returns at once: the shell writes its shortcut on a thread of its own, so a slow profile
// folder never holds up the window.
void AddToRecentLists(const std::string& fileName);

}  // namespace quillet
