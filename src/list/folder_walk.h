// The folder walk behind "添加子文件夹" and "添加递归子文件夹".
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace quillet {

enum class WalkDepth { AllLevels = 0, DirectSubfolders = 1, FolderOnly = 2 };

// AddAllFoldersInDir: records each folder (dir + "\") when its "." entry is met, descending
// into directory entries by depth. A directory link that leads back to a folder already on
// the current walk path is not descended into again, so every tree ends.
// onRecorded runs after each recorded folder (the window pumps messages there).
void AddAllFoldersInDir(DirectorySearch& search, const std::string& dir, WalkDepth depth,
                        std::vector<std::string>& folderList,
                        const std::function<void()>& onRecorded = {});

// What AltKlasorlerEkle1 / IciceAltKlasorlerEkle1 add from a finished walk: every recorded
// folder but the chosen one itself (compared with a trailing "\" on both, case-sensitive).
std::vector<std::string> SubfoldersToAdd(const std::vector<std::string>& folderList,
                                         const std::string& chosenFolder);

// Appends "\" when missing.
std::string WithTrailingSeparator(const std::string& path);

}  // namespace quillet
