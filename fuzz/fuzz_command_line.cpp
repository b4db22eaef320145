// Any command line the program may be started with: the argument split and the decision
// between a list file and entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "store/command_line.h"
#include "store/list_files.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view commandLine(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> arguments = quillet::SplitCommandLine(commandLine);

  const bool validText = quillet::IsValidUtf8(commandLine);
  std::string quotedAgain;
  for (const std::string& argument : arguments) {
    // Quotes are always dropped, the text ends at a NUL and empty arguments don't count.
    if (argument.empty() || argument.find('"') != std::string::npos || argument.find('\0') != std::string::npos) {
      std::abort();
    }
    // Splitting only at ASCII bytes keeps every character whole.
    if (validText && !quillet::IsValidUtf8(argument)) std::abort();
    quotedAgain += " \"" + argument + "\"";
  }
  // Each argument quoted on its own gives back the same arguments: what a shortcut or the
  // Run key would pass for them.
  if (quillet::SplitCommandLine(quotedAgain) != arguments) std::abort();

  const quillet::StartupArguments startup = quillet::ReadStartupArguments(commandLine);
  using Kind = quillet::StartupArguments::Kind;
  if (arguments.size() < 2) {
    if (startup.kind != Kind::None || !startup.items.empty()) std::abort();
    return 0;
  }
  if (startup.items != std::vector<std::string>(arguments.begin() + 1, arguments.end())) std::abort();
  const bool oneListFile =
      startup.items.size() == 1 && quillet::ListFileKindOf(startup.items[0]) == quillet::ListFileKind::ListFormat;
  if (startup.kind != (oneListFile ? Kind::ListFile : Kind::Entries)) std::abort();
  return 0;
}
