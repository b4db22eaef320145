#include "util/responsive_wait.h"

#include <algorithm>

namespace quillet {

void SleepWithoutFreezeLoop(long long milliseconds, const std::function<std::uint32_t()>& tick,
                            const std::function<bool(std::uint32_t)>& waitForInput,
                            const std::function<void()>& pump,
                            const std::function<bool()>& endEarly) {
  if (milliseconds <= 0) return;
  // 0xFFFFFFFF would be INFINITE to MsgWaitForMultipleObjects; longer waits go in slices.
  constexpr long long kLongestTimeout = 0xFFFFFFFELL;
  const std::uint32_t start = tick();
  std::uint32_t elapsed = 0;
  for (;;) {
    const long long left = milliseconds - static_cast<long long>(elapsed);
    if (!waitForInput(static_cast<std::uint32_t>(std::min(left, kLongestTimeout)))) return;
    pump();
    if (endEarly && endEarly()) return;
    elapsed = tick() - start;  // unsigned: survives one wrap-around of the tick counter
    if (static_cast<long long>(elapsed) >= milliseconds) return;
  }
}

}  // namespace quillet
