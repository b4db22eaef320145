// The program's button on the taskbar, showing how far an opening run has come. The window
// talks to this port; the Windows shell's implementation sits behind it, and a shell without
// taskbar progress simply shows nothing.
#pragma once

#include <cstddef>

namespace quillet {

class TaskbarProgress {
 public:
  virtual ~TaskbarProgress() = default;
  // A progress bar at done out of total; paused while the run waits between entries.
  virtual void Show(std::size_t done, std::size_t total, bool paused) = 0;
  // No progress on the button any more.
  virtual void Clear() = 0;
};

}  // namespace quillet
