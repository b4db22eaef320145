#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace quillet {
namespace {

IoError ErrnoError(int error) {
  return IoError(static_cast<std::uint32_t>(error), std::strerror(error));
}

// Closes a descriptor on every way out.
class FdOwner {
 public:
  explicit FdOwner(int fd) : fd_(fd) {}
  FdOwner(const FdOwner&) = delete;
  FdOwner& operator=(const FdOwner&) = delete;
  ~FdOwner() { reset(); }
  int get() const { return fd_; }
  int release() { const int fd = fd_; fd_ = -1; return fd; }
  void reset() { if (fd_ >= 0) ::close(fd_); fd_ = -1; }
 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& bytes) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

std::string ToPosixPath(const std::string& path) {
  std::string out = path;
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::optional<std::string> PosixFileSystem::ReadFile(const std::string& path) {
  const std::string posixPath = ToPosixPath(path);
  FdOwner fd(::open(posixPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    throw ErrnoError(errno);
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw ErrnoError(errno);
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}

void PosixFileSystem::ReplaceFile(const std::string& path, const std::string& bytes) {
  const std::string target = ToPosixPath(path);
  // The temporary file sits in the same folder, so the rename stays on one file system and
  // readers see either the old file or the new one, never a half-written one.
  static std::atomic<unsigned> counter{0};
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) throw ErrnoError(errno);
  FdOwner owner(fd);
  const auto fail = [&](int error) {
    owner.reset();
    ::unlink(temporary.c_str());
    throw ErrnoError(error);
  };
  if (!WriteAll(fd, bytes)) fail(errno);
  if (::fsync(fd) != 0) fail(errno);
  if (::close(owner.release()) != 0) fail(errno);
  if (::rename(temporary.c_str(), target.c_str()) != 0) fail(errno);
}

bool PosixFileSystem::DeleteFile(const std::string& path) {
  return ::unlink(ToPosixPath(path).c_str()) == 0;
}

bool PosixFileSystem::CreateFolder(const std::string& path) {
  return ::mkdir(ToPosixPath(path).c_str(), 0777) == 0;
}

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat info;
  return ::stat(ToPosixPath(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool PosixFileSystem::ProbeWritable(const std::string& folderWithoutSeparator) {
  const std::string probe = ToPosixPath(folderWithoutSeparator + "\\chk.tmp");
  // O_EXCL like CREATE_NEW: a leftover chk.tmp makes the probe fail.
  const int fd = ::open(probe.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

}  // namespace quillet
