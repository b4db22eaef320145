// The guard of PopupUnderButton, kept free of Windows so its tick arithmetic can be tested
// anywhere. A click on a button that arrives less than 100 ms after that button's menu closed
// is the click that closed the menu; it must not open the menu again at once.
#pragma once

#include <cstdint>

namespace quillet {

class PopupGuard {
 public:
  static constexpr std::uint32_t kGuardMs = 100;

  // True when the click on button for menu at tick now is to be swallowed. A swallowed click
  // forgets the last button and menu, so the next click opens the menu again.
  bool ShouldSwallow(const void* button, const void* menu, std::uint32_t now) {
    if (button == lastButton_ && menu == lastMenu_ &&
        static_cast<std::uint32_t>(now - closedAt_) < kGuardMs) {
      lastButton_ = nullptr;
      lastMenu_ = nullptr;
      return true;
    }
    return false;
  }

  // Remembers the menu that just closed under button at tick now.
  void MenuClosed(const void* button, const void* menu, std::uint32_t now) {
    lastButton_ = button;
    lastMenu_ = menu;
    closedAt_ = now;
  }

 private:
  const void* lastButton_ = nullptr;
  const void* lastMenu_ = nullptr;
  std::uint32_t closedAt_ = 0;
};

}  // namespace quillet
