// The list on disk: list files (save and load), the batch export, the remembered list kept by
// the save timer, and the start-up loading of the remembered list and the command line. A list
// file in the list format that was saved or read joins the system's recent documents.
#include <windows.h>

#include <climits>

#include "app/app_form.h"
#include "app/recent_lists.h"
#include "ui/control_ids.h"
#include "list/opening_run.h"
#include "platform/win32/dialogs.h"
#include "store/batch_export.h"
#include "store/command_line.h"
#include "store/file_messages.h"
#include "util/text.h"

namespace quillet {

namespace {

// The list-file dialogs leave the recent documents to AddToRecentLists: only list files in the
// list format, and only once they were read or written.
const FileDialogOptions kOpenListDialog{  // OpenDialog2
    L"Supported Files (*.qlst;*.txt;*.bat)|*.qlst;*.txt;*.bat|Quillet List (*.qlst)|*.qlst|"
    L"Text File (*.txt)|*.txt|Batch File (*.bat)|*.bat|Any File (*.*)|*.*",
    L"qlst", false, false};
const FileDialogOptions kSaveListDialog{  // SaveDialog2
    L"Quillet List (*.qlst)|*.qlst|Text File (*.txt)|*.txt|Any File (*.*)|*.*", L"qlst", false, false};
const FileDialogOptions kSaveBatchDialog{L"Batch File (*.bat)|*.bat", L"bat", false};  // SaveDialog1

// The list file's entries and options; throws the IoError naming the file when it can't be
// read (a missing file included), before anything of the list has changed.
ListFileContent ReadListFileForLoading(FileSystem& fs, const AnsiDecoder& ansi, const std::string& fileName) {
  std::optional<ListFileContent> content = LoadListFile(fs, ansi, fileName);
  if (!content) {
    throw WithTask(IoError(ERROR_FILE_NOT_FOUND, SystemErrorText(ERROR_FILE_NOT_FOUND)), FileTask::ReadList,
                   fileName);
  }
  return std::move(*content);
}

std::vector<Entry> CheckedEntries(std::vector<std::string> texts) {
  std::vector<Entry> entries;
  entries.reserve(texts.size());
  for (std::string& text : texts) entries.push_back(Entry{std::move(text), true});
  return entries;
}

// Shows the warning of a file the program can't handle as asked; the program goes on.
void ShowWarning(HWND owner, const std::string& text) {
  MessageBoxW(owner, Widen(text).c_str(), L"警告", MB_OK | MB_ICONWARNING);
}

}  // namespace

void TAppForm::CreateRememberedSnapshot() {
  remembered_ = std::make_unique<RememberedList>(fileSystem_, settingsDir_);
}

void TAppForm::ListeYukle(const std::string& fileName) {
  AppendListFileContent(ReadListFileForLoading(fileSystem_, ansi_, fileName));
  AddToRecentLists(fileName);
}

void TAppForm::AppendListFileContent(ListFileContent content) {
  ApplyListFileSettings(content.settings);
  list_.Append(std::move(content.entries));
  SyncListView();
}

void TAppForm::ApplyListFileSettings(const std::vector<ListFileSetting>& settings) {
  for (const ListFileSetting& setting : settings) {
    switch (setting.key) {
      case ListFileSetting::Key::StayOnTop:
        if (setting.on) {
          StayOnTopYap();
        } else {
          StayOnTopYapMa();
        }
        break;
      case ListFileSetting::Key::AutoOpenList:  // the menu check only, for this session
        ShowOption(MenuOption::AutoOpenList, setting.on);
        break;
      case ListFileSetting::Key::AutoClose:  // the menu check only, for this session
        ShowOption(MenuOption::AutoClose, setting.on);
        break;
      case ListFileSetting::Key::Wait:
        // The wait box holds a 32-bit number; a value beyond it does not parse there.
        if (setting.wait >= INT_MIN && setting.wait <= INT_MAX) {
          SetControlText(IDC_SPINEDIT1, std::to_string(setting.wait));  // stores Wait
        }
        break;
    }
  }
}

void TAppForm::Button4Click() {
  std::vector<std::wstring> chosen = ShowOpenFileDialog(Handle(), kOpenListDialog);
  if (chosen.empty()) return;
  ListeYukle(Narrow(chosen.front()));
}

void TAppForm::Button5Click() {
  const std::wstring fileName = ShowSaveFileDialog(Handle(), kSaveListDialog);
  if (fileName.empty()) return;
  ListOptions options;
  options.wait = ParseWait(ControlTextUtf8(IDC_SPINEDIT1));
  options.stayOnTop = OptionOn(MenuOption::StayOnTop);
  options.autoOpenList = OptionOn(MenuOption::AutoOpenList);
  options.autoClose = OptionOn(MenuOption::AutoClose);
  SaveListFile(fileSystem_, Narrow(fileName), list_.Entries(), options);
  AddToRecentLists(Narrow(fileName));
}

void TAppForm::Button3Click() {
  BatchOptions options;
  options.useDefaultProgram = useDefaultProgram_;
  options.program = ControlTextUtf8(IDC_EDIT1);
  // Every line would hand the program to the command interpreter; one that breaks out of its
  // quotes can't be written at all, so the user hears it before choosing a file.
  if (!options.useDefaultProgram && !FitsBatchQuotes(options.program)) {
    ShowWarning(Handle(), BatchProgramUnfitText());
    return;
  }
  const std::wstring fileName = ShowSaveFileDialog(Handle(), kSaveBatchDialog);
  if (fileName.empty()) return;
  const WindowsVersion windows = GetWindowsVersion();
  options.wait = ParseWait(ControlTextUtf8(IDC_SPINEDIT1));
  options.windowsMajor = windows.major;
  options.windowsMinor = windows.minor;
  options.appCaption = values_.caption;
  options.appVersion = values_.version;
  Win32FolderProbe probe;
  const std::vector<std::size_t> leftOut =
      ExportBatchFile(fileSystem_, Narrow(fileName), list_.Entries(), options, probe);
  if (!leftOut.empty()) ShowWarning(Handle(), BatchLeftOutText(list_.Entries(), leftOut));
}

void TAppForm::TimerParamTimer() {
  KillTimer(Handle(), kTimerParamId);
  // Whether the list comes from files.txt, whether it opens at once: that is in the settings.
  // Until they can be read, files.txt is neither read into a list that doesn't want it nor
  // written over (the save tick keeps trying the settings and opens the list after them).
  if (store_->OnHold()) {
    startupListWaitsForSettings_ = true;
    ShowWarning(Handle(), SettingsHeldText(store_->HeldText()));
    return;
  }
  OpenStartupList();
}

void TAppForm::OpenStartupList() {
  // The remembered list comes back with every entry checked; a missing file leaves the list
  // empty without a word. One that another program holds is put on hold: the save tick keeps
  // trying to read it and does not write it meanwhile.
  // The start-up list goes in front of what the user added while it waited for the settings
  // (nothing, at a normal start).
  const std::vector<Entry> addedMeanwhile = list_.Entries();
  std::string heldText;
  if (OptionOn(MenuOption::Remember)) {
    try {
      if (std::optional<std::vector<std::string>> lines = remembered_->Load(ansi_)) {
        std::vector<Entry> entries = CheckedEntries(std::move(*lines));
        entries.insert(entries.end(), addedMeanwhile.begin(), addedMeanwhile.end());
        list_.ReplaceAll(std::move(entries));
        SyncListView();
      }
    } catch (const IoError& error) {
      heldText = error.what();
    }
  }
  const auto tellIfStillHeld = [&] {
    if (remembered_->OnHold()) ShowWarning(Handle(), RememberedListHeldText(heldText));
  };

  const StartupArguments arguments = ReadStartupArguments(
      Narrow(args_.commandLine ? *args_.commandLine : std::wstring(GetCommandLineW())));
  if (arguments.kind != StartupArguments::Kind::None) {
    // The list file is read before the list is cleared: one that can't be read leaves the
    // list, and so files.txt, as they were (the error report follows, no opening run).
    std::optional<ListFileContent> listFile;
    if (arguments.kind == StartupArguments::Kind::ListFile) {
      try {
        listFile = ReadListFileForLoading(fileSystem_, ansi_, arguments.items.front());
      } catch (const IoError&) {
        tellIfStillHeld();
        throw;
      }
    }
    list_.RemoveAll();
    SyncListView();
    if (listFile) {
      AppendListFileContent(std::move(*listFile));
      // Also when Explorer or the jump list started the program with it: the list the user
      // just opened moves to the top of the recent ones.
      AddToRecentLists(arguments.items.front());
    } else {
      list_.Append(CheckedEntries(arguments.items));
    }
    if (!addedMeanwhile.empty()) list_.Append(addedMeanwhile);
    SyncListView();
    // What the command line named replaces files.txt, as it would replace a list read from it.
    remembered_->EndHold();
  }
  tellIfStillHeld();

  if (list_.Count() > 0 && OptionOn(MenuOption::AutoOpenList)) BitBtn1Click();
}

void TAppForm::TimerSaveChangesTimer() {
  if (store_->OnHold()) {
    RetryHeldSettings();
    if (store_->OnHold() || startupListWaitsForSettings_) return;
  }
  // A remembered list that could not be read at start comes in once it can be, in front of
  // whatever the user added meanwhile, as if it had been read at start.
  if (remembered_->OnHold()) {
    std::optional<std::vector<std::string>> lines = remembered_->RetryHeld(ansi_);
    if (!lines) return;
    if (!lines->empty()) {
      std::vector<Entry> entries = CheckedEntries(std::move(*lines));
      entries.insert(entries.end(), list_.Entries().begin(), list_.Entries().end());
      list_.ReplaceAll(std::move(entries));
      SyncListView();
    }
  }
  // The first failure in a row throws and is reported; the next ticks retry quietly.
  remembered_->SaveIfChanged(list_);
}

void TAppForm::RetryHeldSettings() {
  if (!store_->RetryHeld()) return;
  ApplyStartupSettings();
  WriteHeldSettings();
  if (startupListWaitsForSettings_) {
    startupListWaitsForSettings_ = false;
    OpenStartupList();
  }
}

}  // namespace quillet
