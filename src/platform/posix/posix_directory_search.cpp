#include "platform/posix/posix_directory_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/posix/posix_file_system.h"

namespace quillet {

bool PosixDirectorySearch::List(const std::string& dir, const std::function<void(const DirectoryEntry&)>& visit) {
  path_.assign(dir);
  for (char& c : path_) {
    if (c == '\\') c = '/';
  }
  DIR* stream = ::opendir(path_.c_str());
  if (stream == nullptr) return false;
  const int folderFd = ::dirfd(stream);

  entry_.isDirectory = true;
  entry_.isLink = false;
  entry_.name.assign(1, '.');
  visit(entry_);
  entry_.name.assign(2, '.');
  visit(entry_);

  errno = 0;
  while (const dirent* item = ::readdir(stream)) {
    const char* name = item->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    unsigned char type = item->d_type;
    struct stat info;
    // d_type answers almost every entry without a system call; some file systems leave it
    // unknown, and a link needs its target's type.
    if (type == DT_UNKNOWN) {
      if (::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISLNK(info.st_mode) ? DT_LNK : S_ISDIR(info.st_mode) ? DT_DIR : DT_REG;
    }
    entry_.isLink = type == DT_LNK;
    if (entry_.isLink) {
      entry_.isDirectory = ::fstatat(folderFd, name, &info, 0) == 0 && S_ISDIR(info.st_mode);
    } else {
      entry_.isDirectory = type == DT_DIR;
    }
    entry_.name.assign(name);
    visit(entry_);
  }
  ::closedir(stream);
  return true;
}

std::optional<FolderIdentity> PosixDirectorySearch::Identify(const std::string& path) {
  struct stat info;
  if (::stat(ToPosixPath(path).c_str(), &info) != 0) return std::nullopt;
  return FolderIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace quillet
