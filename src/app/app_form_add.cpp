// The add commands of PopupMenuAdd: files, folders, subfolders and the add window.
#include "app/app_form.h"
#include "app/urlform.h"
#include "list/folder_walk.h"
#include "platform/win32/dialogs.h"
#include "util/text.h"

namespace quillet {

void TAppForm::AddLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) list_.Ekle(line, true);
  SyncListView();
}

void TAppForm::AddFiles1Click() {
  // A file dialog is not hidden by a topmost owner, so it needs no bracket.
  FileDialogOptions options;
  options.filter = L"Any Files|*.*";
  options.multiSelect = true;
  for (const std::wstring& path : ShowOpenFileDialog(Handle(), options)) list_.Ekle(Narrow(path), true);
  SyncListView();
}

std::vector<std::wstring> TAppForm::RunFolderPicker(bool multiple) {
  // The check is read once, before the picker: the picker's own changes don't count.
  const bool wasOnTop = StayOnTopChecked();
  if (wasOnTop) StayOnTopYapMa();
  std::vector<std::wstring> chosen;
  try {
    chosen = PickFolders(Handle(), lastFolder_, multiple);
  } catch (...) {
    if (wasOnTop) StayOnTopYap();
    throw;
  }
  if (wasOnTop) StayOnTopYap();
  return chosen;
}

void TAppForm::AddFolder1Click() {
  for (const std::wstring& folder : RunFolderPicker(true)) list_.Ekle(Narrow(folder), true);
  SyncListView();
}

void TAppForm::AddSubfolders1Click() {
  std::vector<std::wstring> chosen = RunFolderPicker(false);
  if (!chosen.empty()) AltKlasorlerEkle1(Narrow(chosen.front()));
}

void TAppForm::AddRecursiveSubfolders1Click() {
  std::vector<std::wstring> chosen = RunFolderPicker(false);
  if (!chosen.empty()) IciceAltKlasorlerEkle1(Narrow(chosen.front()));
}

void TAppForm::AltKlasorlerEkle1(const std::string& folder) { AddSubfoldersOf(folder, false); }

void TAppForm::IciceAltKlasorlerEkle1(const std::string& folder) { AddSubfoldersOf(folder, true); }

void TAppForm::AddSubfoldersOf(const std::string& folder, bool allLevels) {
  if (TrimBlanks(folder).empty()) return;
  lastFolder_ = Widen(folder);
  folderList_.clear();
  Win32DirectorySearch search;
  // The walk pumps messages after every recorded folder so the window stays usable.
  AddAllFoldersInDir(search, folder, allLevels ? WalkDepth::AllLevels : WalkDepth::DirectSubfolders,
                     folderList_, [] { ProcessMessages(); });
  const std::vector<std::string> toAdd = SubfoldersToAdd(folderList_, folder);
  if (!allLevels) {
    AddLines(toAdd);
    return;
  }
  // Thousands of folders arrive in one repaint, with the busy cursor while they do.
  SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
  SendMessageW(list_view_, WM_SETREDRAW, FALSE, 0);
  for (const std::string& path : toAdd) list_.Ekle(path, true);
  SyncListView();
  SendMessageW(list_view_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_view_, nullptr, TRUE);
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

// The entries are added while the add window's bracket is still open, as its "确定" adds them,
// so the list is complete before the window goes back into the topmost band.
void TAppForm::ShowAddWindow(const std::wstring& initialText) {
  WithStayOnTopBracket([&] { AddLines(ShowAddUrlWindow(Handle(), initialText)); });
}

void TAppForm::AddURLs1Click() { ShowAddWindow(L"http://"); }

void TAppForm::AddAnything1Click() { ShowAddWindow(L""); }

}  // namespace quillet
