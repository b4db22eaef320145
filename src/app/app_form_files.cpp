// The list on disk: list files (save and load), the batch export, the remembered list kept by
// the save timer, and the start-up loading of the remembered list and the command line.
#include <windows.h>

#include <climits>

#include "app/app_form.h"
#include "app/control_ids.h"
#include "list/opening_run.h"
#include "platform/win32/dialogs.h"
#include "store/batch_export.h"
#include "store/command_line.h"
#include "util/text.h"

namespace quillet {

namespace {

const FileDialogOptions kOpenListDialog{  // OpenDialog2
    L"Supported Files (*.qlst;*.txt;*.bat)|*.qlst;*.txt;*.bat|Quillet List (*.qlst)|*.qlst|"
    L"Text File (*.txt)|*.txt|Batch File (*.bat)|*.bat|Any File (*.*)|*.*",
    L"qlst", false};
const FileDialogOptions kSaveListDialog{  // SaveDialog2
    L"Quillet List (*.qlst)|*.qlst|Text File (*.txt)|*.txt|Any File (*.*)|*.*", L"qlst", false};
const FileDialogOptions kSaveBatchDialog{L"Batch File (*.bat)|*.bat", L"bat", false};  // SaveDialog1

[[noreturn]] void ThrowFileNotFound() {
  throw IoError(ERROR_FILE_NOT_FOUND, SystemErrorText(ERROR_FILE_NOT_FOUND));
}

}  // namespace

void TAppForm::CreateRememberedSnapshot() {
  remembered_ = std::make_unique<RememberedList>(fileSystem_, settingsDir_);
}

void TAppForm::ListeYukle(const std::string& fileName) {
  std::optional<ListFileContent> content = LoadListFile(fileSystem_, ansi_, fileName);
  if (!content) ThrowFileNotFound();
  ApplyListFileSettings(content->settings);
  list_.Append(std::move(content->entries));
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
        autoOpenList_ = setting.on;
        SetMenuCheck(IDM_AUTOOPENLIST1, setting.on);
        break;
      case ListFileSetting::Key::AutoClose:  // the menu check only, for this session
        autoClose_ = setting.on;
        SetMenuCheck(IDM_AUTOCLOSE1, setting.on);
        break;
      case ListFileSetting::Key::Wait:
        // The wait box holds a 32-bit number; a value beyond it does not parse there.
        if (setting.wait >= INT_MIN && setting.wait <= INT_MAX) {
          SetControlText(IDC_SPINEDIT1, std::to_wstring(setting.wait));  // stores Wait
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
  options.wait = ParseWait(Narrow(ControlText(IDC_SPINEDIT1)));
  options.stayOnTop = stayOnTop_;
  options.autoOpenList = autoOpenList_;
  options.autoClose = autoClose_;
  SaveListFile(fileSystem_, Narrow(fileName), list_.Entries(), options);
}

void TAppForm::Button3Click() {
  const std::wstring fileName = ShowSaveFileDialog(Handle(), kSaveBatchDialog);
  if (fileName.empty()) return;
  const WindowsVersion windows = GetWindowsVersion();
  BatchOptions options;
  options.useDefaultProgram = useDefaultProgram_;
  options.program = Narrow(ControlText(IDC_EDIT1));
  options.wait = ParseWait(Narrow(ControlText(IDC_SPINEDIT1)));
  options.windowsMajor = windows.major;
  options.windowsMinor = windows.minor;
  options.appCaption = values_.caption;
  options.appVersion = values_.version;
  Win32FolderProbe probe;
  ExportBatchFile(fileSystem_, Narrow(fileName), list_.Entries(), options, probe);
}

void TAppForm::TimerParamTimer() {
  KillTimer(Handle(), kTimerParamId);

  // The remembered list comes back with every entry checked; a missing or unreadable file
  // leaves the list empty without a word.
  if (remember_) {
    if (std::optional<std::vector<std::string>> lines = remembered_->Load(ansi_)) {
      std::vector<Entry> entries;
      entries.reserve(lines->size());
      for (std::string& line : *lines) entries.push_back(Entry{std::move(line), true});
      list_.ReplaceAll(std::move(entries));
      SyncListView();
    }
  }

  const StartupArguments arguments = ReadStartupArguments(
      Narrow(args_.commandLine ? *args_.commandLine : std::wstring(GetCommandLineW())));
  if (arguments.kind != StartupArguments::Kind::None) {
    list_.RemoveAll();
    SyncListView();
    if (arguments.kind == StartupArguments::Kind::ListFile) {
      ListeYukle(arguments.items.front());  // a failure ends the start-up loading here
    } else {
      std::vector<Entry> entries;
      entries.reserve(arguments.items.size());
      for (const std::string& item : arguments.items) entries.push_back(Entry{item, true});
      list_.Append(std::move(entries));
      SyncListView();
    }
  }

  if (list_.Count() > 0 && autoOpenList_) BitBtn1Click();
}

void TAppForm::TimerSaveChangesTimer() {
  // The first failure in a row throws and is reported; the next ticks retry quietly.
  remembered_->SaveIfChanged(list_);
}

void TAppForm::Remember1Click() {
  store_->WriteInteger("Remember", remember_ ? 0 : 1);
  remember_ = !remember_;
  SetMenuCheck(IDM_REMEMBER1, remember_);
}

void TAppForm::AutoOpenList1Click() {
  store_->WriteInteger("AutoOpenList", autoOpenList_ ? 0 : 1);
  autoOpenList_ = !autoOpenList_;
  SetMenuCheck(IDM_AUTOOPENLIST1, autoOpenList_);
}

}  // namespace quillet
