// SettingsStore: settings.ini in SettingsDir, written through on every change.
#pragma once

#include <functional>
#include <string>

#include "platform/file_system.h"
#include "store/ini_document.h"

namespace quillet {

inline constexpr const char* kSettingsSection = "Settings";

// The writability probe: the program folder (with its trailing "\") when chk.tmp can be
// created there, otherwise appData\company\product\ with both levels created. appData is
// asked only then: finding it loads the shell, which a start from a writable folder never needs.
std::string ChooseSettingsDir(FileSystem& fs, const std::string& programFolder,
                              const std::function<std::string()>& appData, const std::string& company,
                              const std::string& product);

class SettingsStore {
 public:
  SettingsStore(FileSystem& fs, std::string settingsDir);
  // Reads settings.ini. A file that is not valid UTF-8 is deleted and the document starts
  // empty, without a message. A file that exists but cannot be read (another program holds it,
  // no access) puts the store on hold instead, with the failure's text (FailureText of
  // ReadSettings): the document starts empty, and the file is neither deleted nor written
  // until RetryHeld has read it. Losing every option to a few seconds of another program's
  // lock would cost the user far more than a later read.
  void Open();
  bool OnHold() const { return onHold_; }
  const std::string& HeldText() const { return heldText_; }
  // On hold: one more try at reading settings.ini, without waiting for a program that holds
  // it. True when the hold ended: the document is then what Open would have made of the file
  // (the changes made in memory meanwhile are dropped). False while it still can't be read.
  bool RetryHeld();
  const std::string& Path() const { return path_; }
  const IniDocument& Document() const { return document_; }

  bool ValueExists(std::string_view key) const;
  std::string ReadString(std::string_view key, std::string_view def) const;
  long long ReadInteger(std::string_view key, long long def) const;
  // Each write changes the document and replaces the file at once (throws IoError); on hold
  // it changes the document only.
  void WriteString(std::string_view key, std::string_view value);
  void WriteInteger(std::string_view key, long long value);
  // In memory only, for handlers that change several keys and then call UpdateFile once.
  void SetString(std::string_view key, std::string_view value);
  void SetInteger(std::string_view key, long long value);
  void UpdateFile();

 private:
  FileSystem& fs_;
  std::string path_;
  IniDocument document_;
  // Reads the bytes of settings.ini into the document; an undecodable file is deleted.
  void Take(const std::optional<std::string>& bytes);

  bool onHold_ = false;
  std::string heldText_;
  bool writing_ = false;     // UpdateFile is under way (its wait may run other handlers)
  bool writeAgain_ = false;  // the document changed during that write
};

// The stored options as the start-up read applies them, in the order it applies them.
struct ScreenSize { int width = 0; int height = 0; };
struct StartupSettings {
  bool placeAtStored = false;  // Left and Top both present
  int left = 0, top = 0;
  int width = 0, height = 0;   // 0: keep the designed size
  bool maximized = false;
  bool remember = false, stayOnTop = false, autoClose = false, autoOpenList = false;
  long long wait = 0;
  std::string openWith;        // blank stored value already replaced by windir\notepad.exe
  bool openWithNamedProgram = false;  // OpenWithDefaults is exactly "OFF"
};
StartupSettings ReadStartupSettings(const SettingsStore& store, ScreenSize screen,
                                    const std::string& windir);

struct WindowBounds { int left = 0, top = 0, width = 0, height = 0; };
// Where the window opens: the stored width and height replace the designed ones; at the stored
// position when both Left and Top were stored, otherwise centred on the screen at the size it
// opens with (a stored size alone must not leave it where the designed size was centred).
WindowBounds StartupBounds(const StartupSettings& stored, int designedWidth, int designedHeight,
                           ScreenSize screen);

// FormResize: what the resize handler writes for each window state.
enum class WindowState { Normal, Maximized, Minimized };
void SaveGeometry(SettingsStore& store, WindowState state, const WindowBounds& bounds);

}  // namespace quillet
