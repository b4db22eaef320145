// A folder test answered from a table instead of the file system.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "list/entry_class.h"

namespace quillet::test {

class FakeProbe : public FolderProbe {
 public:
  struct Path {
    Attributes attributes;
    bool opens = true;  // CreateFileW through the link succeeds
  };
  std::map<std::string, Path> paths;  // anything else: error 2, file not found
  std::vector<std::string> opened;

  void AddFolder(const std::string& path) { paths[path] = Path{{true, kAttributeDirectory, 0}, true}; }
  void AddFile(const std::string& path) { paths[path] = Path{{true, 0x20, 0}, true}; }

  Attributes GetAttributes(const std::string& path) override {
    const auto it = paths.find(path);
    if (it == paths.end()) return Attributes{false, 0, 2};
    return it->second.attributes;
  }
  bool OpenFollowingLink(const std::string& path) override {
    opened.push_back(path);
    const auto it = paths.find(path);
    return it != paths.end() && it->second.opens;
  }
};

}  // namespace quillet::test
