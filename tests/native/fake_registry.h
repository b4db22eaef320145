// Registry values kept in memory, for logic that reads and writes a key's string values.
#pragma once

#include <map>
#include <string>

#include "platform/file_system.h"
#include "platform/registry.h"

namespace quillet::test {

class FakeRegistryValues : public RegistryValues {
 public:
  std::map<std::string, std::string> values;
  bool failWrites = false;  // as for a key the user has no right to change

  std::string ReadString(const std::string& name) override {
    const auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  }
  void WriteString(const std::string& name, const std::string& data) override {
    if (failWrites) throw IoError(5, "Access is denied");
    values[name] = data;
  }
  void DeleteValue(const std::string& name) override {
    if (failWrites) throw IoError(5, "Access is denied");
    values.erase(name);
  }
};

}  // namespace quillet::test
