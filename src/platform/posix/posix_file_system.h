// The file operations on POSIX systems, for the native build and its tests on real folders.
// Windows separators in paths ("\") become "/" here.
#pragma once

#include "platform/file_system.h"

namespace quillet {

// "\" to "/": the logic builds Windows paths, the POSIX calls take slashes.
std::string ToPosixPath(const std::string& path);

class PosixFileSystem : public FileSystem {
 public:
  std::optional<std::string> ReadFile(const std::string& path) override;
  void ReplaceFile(const std::string& path, const std::string& bytes) override;
  bool DeleteFile(const std::string& path) override;
  bool CreateFolder(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool ProbeWritable(const std::string& folderWithoutSeparator) override;
};

}  // namespace quillet
