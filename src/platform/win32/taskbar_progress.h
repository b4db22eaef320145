// Taskbar progress through the shell's ITaskbarList3.
#pragma once

#include <windows.h>

#include "platform/taskbar_progress.h"

struct ITaskbarList3;

namespace quillet {

class Win32TaskbarProgress final : public TaskbarProgress {
 public:
  explicit Win32TaskbarProgress(HWND window) : window_(window) {}
  ~Win32TaskbarProgress() override;
  Win32TaskbarProgress(const Win32TaskbarProgress&) = delete;
  Win32TaskbarProgress& operator=(const Win32TaskbarProgress&) = delete;

  // The message the shell sends a window once its taskbar button exists ("TaskbarButtonCreated");
  // progress can only be shown from then on.
  static UINT ButtonCreatedMessage();
  // Takes the shell's taskbar interface when it offers one (not every shell does: then the
  // button just shows no progress). Called again after the shell restarts.
  void ButtonCreated();
  bool Available() const { return list_ != nullptr; }

  void Show(std::size_t done, std::size_t total, bool paused) override;
  void Clear() override;

 private:
  HWND window_;
  ITaskbarList3* list_ = nullptr;
};

}  // namespace quillet
