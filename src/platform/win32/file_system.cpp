// Files, folder listings and the folder test on the Windows file system.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_system.h"
#include "util/text.h"

namespace quillet {
namespace {

[[noreturn]] void ThrowLastError() {
  const DWORD code = GetLastError();
  throw IoError(code, SystemErrorText(code));
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    // WriteFile takes a 32-bit count; settings and lists are small, but stay correct anyway.
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    done += written;
  }
  return true;
}

// A name beside the target that no other writer in this or another process picks at the
// same moment.
std::wstring TemporaryNameFor(const std::wstring& path) {
  static std::atomic<unsigned> counter{0};
  return path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter.fetch_add(1)) + L".tmp";
}

// Another program reading the file at this moment (a virus scanner, an indexer, an editor
// looking at it) keeps it from being opened or replaced for as long as it holds it. Such holds
// are short: `attempt` is tried again for about a second, pausing between tries, while it
// fails with an error that `held` names. Returns ERROR_SUCCESS or the last error.
template <typename Attempt, typename Held>
DWORD RetryWhileHeldByAnother(Attempt attempt, Held held, const Win32FileSystem::Pause& pause) {
  constexpr std::uint32_t kRetryMs = 20;
  constexpr int kRetries = 50;
  for (int tries = 0;; ++tries) {
    if (attempt()) return ERROR_SUCCESS;
    const DWORD code = GetLastError();
    if (!held(code) || tries == kRetries) return code;
    pause(kRetryMs);
  }
}

bool SharingConflict(DWORD code) { return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION; }

std::optional<std::string> ReadWholeFile(const std::string& path, bool waitForHolder,
                                         const Win32FileSystem::Pause& pause) {
  const std::wstring widePath = Widen(path);
  UniqueFile file;
  // A file another program holds for a moment is waited for, not taken for unreadable (an
  // unreadable settings file is replaced by the defaults).
  const DWORD code = RetryWhileHeldByAnother(
      [&] {
        file.reset(CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return static_cast<bool>(file);
      },
      [&](DWORD error) { return waitForHolder && SharingConflict(error); }, pause);
  if (code != ERROR_SUCCESS) {
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::nullopt;
    throw IoError(code, SystemErrorText(code));
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) ThrowLastError();
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(size.QuadPart));
  char buffer[64 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) ThrowLastError();
    if (read == 0) break;
    bytes.append(buffer, read);
  }
  return bytes;
}

}  // namespace

Win32FileSystem::Win32FileSystem(Pause pause) : pause_(std::move(pause)) {}

std::optional<std::string> Win32FileSystem::ReadFile(const std::string& path) {
  return ReadWholeFile(path, true, pause_);
}

std::optional<std::string> Win32FileSystem::ReadFileWithoutWaiting(const std::string& path) {
  return ReadWholeFile(path, false, pause_);
}

void Win32FileSystem::ReplaceFile(const std::string& path, const std::string& bytes) {
  Replace(path, bytes, true);
}

void Win32FileSystem::ReplaceFileWithoutWaiting(const std::string& path, const std::string& bytes) {
  Replace(path, bytes, false);
}

void Win32FileSystem::Replace(const std::string& path, const std::string& bytes, bool waitForHolder) {
  const std::wstring target = Widen(path);
  // A rename would replace a read-only file on some systems; a file the user made read-only
  // is refused instead, as writing it in place would be.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    throw IoError(ERROR_ACCESS_DENIED, SystemErrorText(ERROR_ACCESS_DENIED));
  const std::wstring temporary = TemporaryNameFor(target);
  {
    UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowLastError();
    // The bytes must be on the disk before the new file takes the old one's name, or a crash
    // right after the rename could leave an empty settings file.
    if (!WriteAll(file.get(), bytes) || !FlushFileBuffers(file.get())) {
      const DWORD code = GetLastError();
      file.reset();
      ::DeleteFileW(temporary.c_str());
      throw IoError(code, SystemErrorText(code));
    }
  }
  // The rename over a file that another program has open fails with "access denied".
  const DWORD code = RetryWhileHeldByAnother(
      [&] {
        return MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
               FALSE;
      },
      [&](DWORD error) { return waitForHolder && (error == ERROR_ACCESS_DENIED || SharingConflict(error)); },
      pause_);
  if (code != ERROR_SUCCESS) {
    ::DeleteFileW(temporary.c_str());
    throw IoError(code, SystemErrorText(code));
  }
}

bool Win32FileSystem::DeleteFile(const std::string& path) {
  return ::DeleteFileW(Widen(path).c_str()) != FALSE;
}

bool Win32FileSystem::CreateFolder(const std::string& path) {
  return CreateDirectoryW(Widen(path).c_str(), nullptr) != FALSE;
}

bool Win32FileSystem::FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32FileSystem::ProbeWritable(const std::string& folderWithoutSeparator) {
  // A new, unshared, temporary file that vanishes when closed: nothing is left behind, and a
  // leftover chk.tmp from elsewhere makes the probe fail rather than be overwritten.
  UniqueFile probe(CreateFileW(Widen(folderWithoutSeparator + "\\chk.tmp").c_str(),
                               GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return static_cast<bool>(probe);
}

bool Win32DirectorySearch::List(const std::string& dir,
                                const std::function<void(const DirectoryEntry&)>& visit) {
  WIN32_FIND_DATAW data{};
  UniqueFind find(FindFirstFileExW(Widen(dir + "\\*").c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return false;
  do {
    DirectoryEntry entry;
    entry.name = Narrow(data.cFileName);
    entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    visit(entry);
  } while (FindNextFileW(find.get(), &data));
  return true;
}

std::optional<FolderIdentity> Win32DirectorySearch::Identify(const std::string& path) {
  // Backup semantics opens folders; without FILE_FLAG_OPEN_REPARSE_POINT links are followed,
  // so a link and its target give the same identity.
  UniqueFile handle(CreateFileW(Widen(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle.get(), &info)) return std::nullopt;
  FolderIdentity identity;
  identity.volume = info.dwVolumeSerialNumber;
  identity.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return identity;
}

FolderProbe::Attributes Win32FolderProbe::GetAttributes(const std::string& path) {
  Attributes result;
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    result.error = GetLastError();
  } else {
    result.ok = true;
    result.attributes = attributes;
  }
  return result;
}

bool Win32FolderProbe::OpenFollowingLink(const std::string& path) {
  UniqueFile handle(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return static_cast<bool>(handle);
}

}  // namespace quillet
