// Start at log-on: a string value under the per-user Run key, named after the window caption
// and holding the program file's full path (quoted when it holds a blank).
#pragma once

#include <string>

#include "platform/registry.h"

namespace quillet {

// Whether the log-on value exists with a non-empty text. Where it points is not looked at: a
// copy of the program at another path shows the option on as well.
bool LogOnValuePresent(RegistryValues& runKey, const std::string& appCaption);

// What the log-on value holds: the program's full path, in double quotes when it holds a
// blank, no arguments.
std::string LogOnCommand(const std::string& programPath);

// The option's menu click. checkedNow is the menu item's state before the click: checked
// deletes the value (whichever form it has), unchecked writes LogOnCommand(programPath).
// Returns the new state of the check mark; a failure throws (IoError naming the task) before
// anything changed on the menu's side.
bool ToggleLogOn(RegistryValues& runKey, const std::string& appCaption, const std::string& programPath,
                 bool checkedNow);

}  // namespace quillet
