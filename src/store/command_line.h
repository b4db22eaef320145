// The process's command line: the program's name, then either one list file to load or
// entries to add.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// Splits a command line (UTF-8) into its arguments. Blanks and control characters (bytes up
// to 0x20) separate arguments; a double quote starts a quoted stretch that may hold blanks
// and runs to the next double quote (or to the end); both quotes are dropped and there is no
// escape character, so a"b c"d is the one argument ab cd. An argument that comes out empty
// ("") is no argument. The text ends at a NUL byte, as the system's command line does.
// Element 0 is the program's own name, if any.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

struct StartupArguments {
  enum class Kind { None, ListFile, Entries };
  Kind kind = Kind::None;
  std::vector<std::string> items;  // ListFile: items[0] is the list file's path
};

// What the start-up loading does with the arguments after the program's name: exactly one
// whose extension in lower case is ".qlst" is a list file to load; otherwise every argument,
// in order, is an entry to add (two list files included).
StartupArguments ReadStartupArguments(std::string_view commandLine);

}  // namespace quillet
