#include "store/settings_store.h"

#include <algorithm>
#include <limits>

#include "store/file_messages.h"
#include "util/text.h"

namespace quillet {
namespace {

int ToInt(long long value) {
  return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

std::string ChooseSettingsDir(FileSystem& fs, const std::string& programFolder,
                              const std::function<std::string()>& appData,
                              const std::string& company, const std::string& product) {
  std::string folder = programFolder;
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  if (fs.ProbeWritable(folder)) return folder + "\\";
  // Each level is created on its own; an existing folder (or a failure) is no reason to stop.
  const std::string companyFolder = appData() + "\\" + company;
  const std::string productFolder = companyFolder + "\\" + product;
  fs.CreateFolder(companyFolder);
  fs.CreateFolder(productFolder);
  return productFolder + "\\";
}

SettingsStore::SettingsStore(FileSystem& fs, std::string settingsDir)
    : fs_(fs), path_(std::move(settingsDir) + "settings.ini") {}

void SettingsStore::Open() {
  document_ = IniDocument();
  onHold_ = false;
  heldText_.clear();
  std::optional<std::string> bytes;
  try {
    bytes = fs_.ReadFile(path_);
  } catch (const IoError& error) {
    onHold_ = true;
    heldText_ = FailureText(FileTask::ReadSettings, path_, error.what());
    return;
  }
  Take(bytes);
}

bool SettingsStore::RetryHeld() {
  if (!onHold_) return true;
  std::optional<std::string> bytes;
  try {
    bytes = fs_.ReadFileWithoutWaiting(path_);
  } catch (const IoError&) {
    return false;
  }
  onHold_ = false;
  heldText_.clear();
  document_ = IniDocument();
  Take(bytes);
  return true;
}

void SettingsStore::Take(const std::optional<std::string>& bytes) {
  if (!bytes) return;
  if (!IsValidUtf8(*bytes)) {
    // A file saved in a legacy code page can't be decoded: start over with the defaults.
    fs_.DeleteFile(path_);
    return;
  }
  document_ = IniDocument::Parse(*bytes);
}

bool SettingsStore::ValueExists(std::string_view key) const {
  return document_.ValueExists(kSettingsSection, key);
}

std::string SettingsStore::ReadString(std::string_view key, std::string_view def) const {
  return document_.ReadString(kSettingsSection, key, def);
}

long long SettingsStore::ReadInteger(std::string_view key, long long def) const {
  return document_.ReadInteger(kSettingsSection, key, def);
}

void SettingsStore::SetString(std::string_view key, std::string_view value) {
  document_.WriteString(kSettingsSection, key, value);
}

void SettingsStore::SetInteger(std::string_view key, long long value) {
  document_.WriteInteger(kSettingsSection, key, value);
}

void SettingsStore::WriteString(std::string_view key, std::string_view value) {
  SetString(key, value);
  UpdateFile();
}

void SettingsStore::WriteInteger(std::string_view key, long long value) {
  SetInteger(key, value);
  UpdateFile();
}

void SettingsStore::UpdateFile() {
  // The file holds the user's settings, which the program has not seen yet: writing the
  // document would replace them with defaults.
  if (onHold_) return;
  // A write waits, handling the window's messages, while another program holds the file; a
  // change made meanwhile asks for its own write. The write under way then writes once more
  // with the newest document, so an older one never lands after it.
  if (writing_) {
    writeAgain_ = true;
    return;
  }
  writing_ = true;
  try {
    do {
      writeAgain_ = false;
      DoingTask(FileTask::SaveSettings, path_, [&] { fs_.ReplaceFile(path_, document_.Serialize()); });
    } while (writeAgain_);
  } catch (...) {
    writing_ = false;
    throw;
  }
  writing_ = false;
}

StartupSettings ReadStartupSettings(const SettingsStore& store, ScreenSize screen, const std::string& windir) {
  StartupSettings settings;
  settings.placeAtStored = store.ValueExists("Left") && store.ValueExists("Top");
  if (settings.placeAtStored) {
    settings.left = ToInt(store.ReadInteger("Left", 0));
    settings.top = ToInt(store.ReadInteger("Top", 0));
  }
  // A size the screen can't hold is left at the designed size; the position is not checked.
  const long long width = store.ReadInteger("Width", 0);
  if (width != 0 && width <= screen.width) settings.width = ToInt(width);
  const long long height = store.ReadInteger("Height", 0);
  if (height != 0 && height <= screen.height) settings.height = ToInt(height);
  settings.maximized = store.ReadString("WindowState", "") == "Maximized";
  settings.remember = store.ReadInteger("Remember", 0) == 1;
  settings.stayOnTop = store.ReadInteger("StayOnTop", 0) == 1;
  settings.autoClose = store.ReadInteger("AutoClose", 0) == 1;
  settings.autoOpenList = store.ReadInteger("AutoOpenList", 0) == 1;
  settings.wait = store.ReadInteger("Wait", 0);
  settings.openWith = store.ReadString("OpenWith", "");
  if (TrimControlAndBlanks(settings.openWith).empty()) settings.openWith = windir + "\\notepad.exe";
  settings.openWithNamedProgram = store.ReadString("OpenWithDefaults", "") == "OFF";
  return settings;
}

WindowBounds StartupBounds(const StartupSettings& stored, int designedWidth, int designedHeight,
                           ScreenSize screen) {
  WindowBounds bounds;
  bounds.width = stored.width != 0 ? stored.width : designedWidth;
  bounds.height = stored.height != 0 ? stored.height : designedHeight;
  if (stored.placeAtStored) {
    bounds.left = stored.left;
    bounds.top = stored.top;
  } else {
    bounds.left = (screen.width - bounds.width) / 2;
    bounds.top = (screen.height - bounds.height) / 2;
  }
  return bounds;
}

void SaveGeometry(SettingsStore& store, WindowState state, const WindowBounds& bounds) {
  switch (state) {
    case WindowState::Normal:
      store.SetInteger("Left", bounds.left);
      store.SetInteger("Top", bounds.top);
      store.SetInteger("Height", bounds.height);
      store.SetInteger("Width", bounds.width);
      store.SetString("WindowState", "Normal");
      break;
    case WindowState::Maximized:
      // The last normal bounds stay, so a restore after the next start has them.
      store.SetString("WindowState", "Maximized");
      break;
    case WindowState::Minimized:
      break;
  }
  store.UpdateFile();
}

}  // namespace quillet
