// Directory listing on POSIX systems for the folder walk, in the order NTFS would give it.
#pragma once

#include "platform/file_system.h"

namespace quillet {

class PosixDirectorySearch : public DirectorySearch {
 public:
  // "." and ".." come first, as NTFS delivers them, then the rest in readdir order.
  // A symbolic link is a link entry, and a directory entry when it leads to a folder.
  bool List(const std::string& dir, const std::function<void(const DirectoryEntry&)>& visit) override;
  std::optional<FolderIdentity> Identify(const std::string& path) override;

 private:
  std::string path_;  // reused between calls, the walk lists many folders
  DirectoryEntry entry_;
};

}  // namespace quillet
