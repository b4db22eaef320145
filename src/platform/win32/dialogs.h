// The standard dialogs the main window shows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quillet {

struct FileDialogOptions {
  std::wstring filter;            // "Any Files|*.*" form: '|' separated pairs
  std::wstring defaultExtension;  // without the dot, may be empty
  bool multiSelect = false;
  // Whether the dialog itself puts the chosen file in the system's recent documents, as it
  // does by default: off where the program decides that itself, after the file was read or
  // written.
  bool addToRecent = true;
};

// A common open dialog (read-only box hidden, resizable). Full paths of the chosen files in
// the dialog's order; empty when cancelled.
std::vector<std::wstring> ShowOpenFileDialog(HWND owner, const FileDialogOptions& options);

// A common save dialog that asks before replacing an existing file (read-only box hidden,
// resizable). The chosen full path; empty when cancelled.
std::wstring ShowSaveFileDialog(HWND owner, const FileDialogOptions& options);

// The folder picker of the three folder commands. Windows 6.0 and later: the common item
// dialog in folder mode, title "选择文件夹:", OK label "Select", default folder and name text
// lastFolder. Older: the browse-for-folder dialog rooted at lastFolder's drive. On confirm
// lastFolder becomes the (first) chosen folder and the chosen folders come back; empty when
// cancelled.
std::vector<std::wstring> PickFolders(HWND owner, std::wstring& lastFolder, bool multiple);

// The pieces of the open dialog that don't need a dialog on the screen.
// "A|B|C|D" to "A\0B\0C\0D\0\0", the filter form of the common dialogs.
std::wstring DialogFilter(const std::wstring& filter);
// The answer buffer of a multi-select open dialog: a single full path, or the folder followed
// by the file names, each ended by a zero and the whole by a second zero.
std::vector<std::wstring> ParseOpenDialogBuffer(const wchar_t* buffer, std::size_t size);
// The root of the browse-for-folder dialog for a start folder: its drive ("C:\"), its
// network share ("\\server\share"), or "" (the whole shell namespace).
std::wstring DriveOf(const std::wstring& folder);

}  // namespace quillet
