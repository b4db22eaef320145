// The file open dialog and the two folder pickers.
#include "platform/win32/dialogs.h"

#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <utility>

#include "platform/win32/win32_system.h"

namespace quillet {
namespace {

// Owns one COM interface pointer.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (p_) p_->Release();
  }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** put() {
    if (p_) p_->Release();
    p_ = nullptr;
    return &p_;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

struct CoTaskString {
  wchar_t* text = nullptr;
  ~CoTaskString() { CoTaskMemFree(text); }
};

struct CoTaskIdList {
  PIDLIST_ABSOLUTE list = nullptr;
  ~CoTaskIdList() { CoTaskMemFree(list); }
};

std::wstring FileSystemPathOf(IShellItem* item) {
  CoTaskString path;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path.text)) || !path.text) return {};
  return path.text;
}

// A run of thousands of chosen files has to fit: one megabyte of characters.
constexpr std::size_t kOpenDialogBufferChars = 1024 * 1024;

std::vector<std::wstring> PickFoldersWithItemDialog(HWND owner, std::wstring& lastFolder, bool multiple) {
  ComRef<IFileOpenDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                              reinterpret_cast<void**>(dialog.put()))))
    return {};
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  options |= FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST;
  if (multiple) options |= FOS_ALLOWMULTISELECT;
  dialog->SetOptions(options);
  dialog->SetTitle(L"选择文件夹:");
  dialog->SetOkButtonLabel(L"Select");
  if (!lastFolder.empty()) {
    ComRef<IShellItem> start;
    if (SUCCEEDED(SHCreateItemFromParsingName(lastFolder.c_str(), nullptr, IID_IShellItem,
                                              reinterpret_cast<void**>(start.put()))))
      dialog->SetFolder(start.get());
  }
  dialog->SetFileName(lastFolder.c_str());
  if (dialog->Show(owner) != S_OK) return {};

  std::vector<std::wstring> folders;
  if (multiple) {
    ComRef<IShellItemArray> results;
    if (FAILED(dialog->GetResults(results.put()))) return {};
    DWORD count = 0;
    results->GetCount(&count);
    for (DWORD i = 0; i < count; ++i) {
      ComRef<IShellItem> item;
      if (FAILED(results->GetItemAt(i, item.put()))) continue;
      std::wstring path = FileSystemPathOf(item.get());
      if (!path.empty()) folders.push_back(std::move(path));
    }
  } else {
    ComRef<IShellItem> item;
    if (FAILED(dialog->GetResult(item.put()))) return {};
    std::wstring path = FileSystemPathOf(item.get());
    if (!path.empty()) folders.push_back(std::move(path));
  }
  if (!folders.empty()) lastFolder = folders.front();
  return folders;
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM startFolder) {
  if (message == BFFM_INITIALIZED && startFolder) {
    const auto* folder = reinterpret_cast<const wchar_t*>(startFolder);
    const DWORD attributes = GetFileAttributesW(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      SendMessageW(window, BFFM_SETSELECTIONW, TRUE, startFolder);
  }
  return 0;
}

std::vector<std::wstring> PickFolderWithBrowseDialog(HWND owner, std::wstring& lastFolder) {
  CoTaskIdList root;
  const std::wstring drive = DriveOf(lastFolder);
  if (!drive.empty()) SHParseDisplayName(drive.c_str(), nullptr, &root.list, 0, nullptr);

  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pidlRoot = root.list;
  info.pszDisplayName = displayName;
  info.lpszTitle = L"选择文件夹:";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(lastFolder.c_str());
  CoTaskIdList chosen;
  chosen.list = SHBrowseForFolderW(&info);
  if (!chosen.list) return {};
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(chosen.list, path) || path[0] == L'\0') return {};
  lastFolder = path;
  return {lastFolder};
}

}  // namespace

std::wstring DialogFilter(const std::wstring& filter) {
  std::wstring result = filter;
  for (wchar_t& c : result)
    if (c == L'|') c = L'\0';
  result.push_back(L'\0');
  result.push_back(L'\0');
  return result;
}

std::vector<std::wstring> ParseOpenDialogBuffer(const wchar_t* buffer, std::size_t size) {
  std::vector<std::wstring> parts;
  std::size_t position = 0;
  while (position < size && buffer[position] != L'\0') {
    std::size_t end = position;
    while (end < size && buffer[end] != L'\0') ++end;
    parts.emplace_back(buffer + position, end - position);
    position = end + 1;
  }
  if (parts.size() <= 1) return parts;  // one file: its full path
  std::wstring folder = parts.front();
  if (folder.back() != L'\\') folder.push_back(L'\\');  // a drive root already ends with it
  std::vector<std::wstring> files;
  files.reserve(parts.size() - 1);
  for (std::size_t i = 1; i < parts.size(); ++i) files.push_back(folder + parts[i]);
  return files;
}

std::wstring DriveOf(const std::wstring& folder) {
  if (folder.size() >= 2 && folder[1] == L':') return folder.substr(0, 2) + L"\\";
  if (folder.size() > 2 && folder[0] == L'\\' && folder[1] == L'\\') {
    // \\server\share: up to the separator after the share name.
    const std::size_t server = folder.find(L'\\', 2);
    if (server == std::wstring::npos) return folder;
    const std::size_t share = folder.find(L'\\', server + 1);
    return share == std::wstring::npos ? folder : folder.substr(0, share);
  }
  return {};
}

namespace {

// What the open and save dialogs share: filter, default extension, answer buffer, read-only
// box hidden, resizable, and whether the chosen file joins the recent documents.
OPENFILENAMEW FileDialogRequest(HWND owner, const FileDialogOptions& options, const std::wstring& filter,
                                std::wstring& buffer) {
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = options.filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrDefExt = options.defaultExtension.empty() ? nullptr : options.defaultExtension.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  if (!options.addToRecent) ofn.Flags |= OFN_DONTADDTORECENT;
  return ofn;
}

}  // namespace

std::vector<std::wstring> ShowOpenFileDialog(HWND owner, const FileDialogOptions& options) {
  std::wstring buffer(kOpenDialogBufferChars, L'\0');
  const std::wstring filter = DialogFilter(options.filter);
  OPENFILENAMEW ofn = FileDialogRequest(owner, options, filter, buffer);
  ofn.Flags |= OFN_FILEMUSTEXIST;
  if (options.multiSelect) ofn.Flags |= OFN_ALLOWMULTISELECT;
  if (!GetOpenFileNameW(&ofn)) return {};
  if (!options.multiSelect) {
    const std::size_t length = buffer.find(L'\0');
    return {buffer.substr(0, length)};
  }
  return ParseOpenDialogBuffer(buffer.data(), buffer.size());
}

std::wstring ShowSaveFileDialog(HWND owner, const FileDialogOptions& options) {
  std::wstring buffer(MAX_PATH * 4, L'\0');
  const std::wstring filter = DialogFilter(options.filter);
  OPENFILENAMEW ofn = FileDialogRequest(owner, options, filter, buffer);
  ofn.Flags |= OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
  if (!GetSaveFileNameW(&ofn)) return {};
  return buffer.substr(0, buffer.find(L'\0'));
}

std::vector<std::wstring> PickFolders(HWND owner, std::wstring& lastFolder, bool multiple) {
  if (WindowsMajorVersion() >= 6) return PickFoldersWithItemDialog(owner, lastFolder, multiple);
  return PickFolderWithBrowseDialog(owner, lastFolder);
}

}  // namespace quillet
