#include "store/log_on.h"

namespace quillet {

bool LogOnValuePresent(RegistryValues& runKey, const std::string& appCaption) {
  return !runKey.ReadString(appCaption).empty();
}

bool ToggleLogOn(RegistryValues& runKey, const std::string& appCaption, const std::string& programPath,
                 bool checkedNow) {
  if (checkedNow) {
    runKey.DeleteValue(appCaption);
    return false;
  }
  runKey.WriteString(appCaption, programPath);
  return true;
}

}  // namespace quillet
