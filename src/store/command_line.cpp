#include "store/command_line.h"

#include "store/list_files.h"

namespace quillet {
namespace {

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= 0x20; }

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  commandLine = commandLine.substr(0, commandLine.find('\0'));
  std::vector<std::string> arguments;
  std::size_t i = 0;
  const std::size_t end = commandLine.size();
  while (i < end) {
    while (i < end && IsSeparator(commandLine[i])) ++i;
    std::string argument;
    while (i < end && !IsSeparator(commandLine[i])) {
      if (commandLine[i] == '"') {
        // Copy the quoted stretch in one piece: a 32,000-character argument costs one pass.
        const std::size_t close = commandLine.find('"', i + 1);
        const std::size_t stop = close == std::string_view::npos ? end : close;
        argument.append(commandLine.substr(i + 1, stop - i - 1));
        i = stop == end ? end : stop + 1;
      } else {
        argument.push_back(commandLine[i]);
        ++i;
      }
    }
    if (!argument.empty()) arguments.push_back(std::move(argument));
  }
  return arguments;
}

StartupArguments ReadStartupArguments(std::string_view commandLine) {
  std::vector<std::string> arguments = SplitCommandLine(commandLine);
  StartupArguments result;
  if (arguments.size() < 2) return result;
  arguments.erase(arguments.begin());
  const bool oneListFile = arguments.size() == 1 && ListFileKindOf(arguments[0]) == ListFileKind::ListFormat;
  result.kind = oneListFile ? StartupArguments::Kind::ListFile : StartupArguments::Kind::Entries;
  result.items = std::move(arguments);
  return result;
}

}  // namespace quillet
