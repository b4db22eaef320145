// The file operations the settings store and the folder walk need. Paths are UTF-8 with
// Windows separators ("\"); the POSIX implementation maps "\" to "/" at its boundary so the
// same logic runs on real folders in native tests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

// <windows.h> maps DeleteFile and ReplaceFile to their ...W functions by macro, which would
// rename these members in some files and not in others, depending on which header came first.
// The members keep their plain names everywhere: call the Windows functions as ...W.
#ifdef DeleteFile
#undef DeleteFile
#endif
#ifdef ReplaceFile
#undef ReplaceFile
#endif

namespace quillet {

// A failed read or write. message is the system's text for code (without a final ".");
// the window shows it through the default error report.
class IoError : public std::runtime_error {
 public:
  IoError(std::uint32_t code, const std::string& message) : std::runtime_error(message), code_(code) {}
  std::uint32_t code() const { return code_; }
 private:
  std::uint32_t code_;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The whole file; std::nullopt when it does not exist. Throws IoError on other failures.
  // A file that another program holds for a moment is waited for, about a second.
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
  // ReadFile without that wait: a file held by another program fails at once. For a read that
  // is tried again at every timer tick, where a wait would hold up the window each time.
  virtual std::optional<std::string> ReadFileWithoutWaiting(const std::string& path) { return ReadFile(path); }
  // Replaces path with bytes in one step: written to a temporary file in the same folder,
  // then renamed over path. Throws IoError; the old file stays intact on failure. A file that
  // another program holds for a moment is waited for, about a second.
  virtual void ReplaceFile(const std::string& path, const std::string& bytes) = 0;
  // ReplaceFile without that wait, for a write that is tried again at every timer tick.
  virtual void ReplaceFileWithoutWaiting(const std::string& path, const std::string& bytes) {
    ReplaceFile(path, bytes);
  }
  virtual bool DeleteFile(const std::string& path) = 0;
  virtual bool CreateFolder(const std::string& path) = 0;  // false also when it exists
  virtual bool FileExists(const std::string& path) = 0;
  // The writability probe: creates folder + "\chk.tmp" as a new, unshared, temporary file
  // that is deleted on close; true when that worked.
  virtual bool ProbeWritable(const std::string& folderWithoutSeparator) = 0;
};

// What the folder test needs from the file system (GetFileAttributesW / CreateFileW).
class FolderProbe {
 public:
  struct Attributes {
    bool ok = false;             // the attributes could be read
    std::uint32_t attributes = 0;  // FILE_ATTRIBUTE_* bits when ok
    std::uint32_t error = 0;     // the system error code when not ok
  };
  virtual ~FolderProbe() = default;
  virtual Attributes GetAttributes(const std::string& path) = 0;
  // Opens path for reading with backup semantics, following a link; true when a handle came
  // back (it is closed again at once).
  virtual bool OpenFollowingLink(const std::string& path) = 0;
};

inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;

// One folder's listing for the folder walk.
struct FolderIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FolderIdentity&) const = default;
};

struct DirectoryEntry {
  std::string name;
  bool isDirectory = false;
  bool isLink = false;  // reparse point / symbolic link
};

class DirectorySearch {
 public:
  virtual ~DirectorySearch() = default;
  // Lists pattern dir + "\*" with every kind and attribute, "." and ".." included, calling
  // visit for each entry in the file system's order; false when the search can't start.
  virtual bool List(const std::string& dir, const std::function<void(const DirectoryEntry&)>& visit) = 0;
  // Identity of the folder that path leads to (links followed); nullopt when unknown.
  virtual std::optional<FolderIdentity> Identify(const std::string& path) = 0;
};

}  // namespace quillet
