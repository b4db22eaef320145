// The named string values of one registry key, for the logic that reads and writes them (the
// log-on value under the per-user Run key). Names and data are UTF-8.
#pragma once

#include <string>

namespace quillet {

class RegistryValues {
 public:
  virtual ~RegistryValues() = default;
  // The value's text; "" when it is missing or not a string.
  virtual std::string ReadString(const std::string& name) = 0;
  // Writes a string value, replacing one of the same name. Throws IoError with the system's
  // text when it can't.
  virtual void WriteString(const std::string& name, const std::string& data) = 0;
  // Deletes the value; nothing happens when it is missing. Throws IoError on other failures.
  virtual void DeleteValue(const std::string& name) = 0;
};

}  // namespace quillet
