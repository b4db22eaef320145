#include "store/log_on.h"

#include "store/file_messages.h"
#include "util/text.h"

namespace quillet {

bool LogOnValuePresent(RegistryValues& runKey, const std::string& appCaption) {
  return !runKey.ReadString(appCaption).empty();
}

std::string LogOnCommand(const std::string& programPath) {
  // Unquoted, C:\Program Files\KALMIRO\Quillet\quillet.exe would make Windows try
  // C:\Program.exe first.
  if (programPath.find(' ') == std::string::npos) return programPath;
  return QuoteArgument(programPath);
}

bool ToggleLogOn(RegistryValues& runKey, const std::string& appCaption, const std::string& programPath,
                 bool checkedNow) {
  if (checkedNow) {
    DoingTask(FileTask::ClearLogOn, appCaption, [&] { runKey.DeleteValue(appCaption); });
    return false;
  }
  DoingTask(FileTask::SetLogOn, appCaption, [&] { runKey.WriteString(appCaption, LogOnCommand(programPath)); });
  return true;
}

}  // namespace quillet
