// The wait that keeps a window working: it sleeps until its time is up or a message arrives,
// handles the messages and sleeps again for the rest. Free of Windows, so its tick arithmetic
// can be tested anywhere; the window passes in the system calls.
#pragma once

#include <cstdint>
#include <functional>

namespace quillet {

// The loop of SleepWithoutFreeze, with the system calls passed in:
//   tick() -> GetTickCount(); waitForInput(timeoutMs) -> true when messages arrived
//   (MsgWaitForMultipleObjects returned 0); pump() processes pending messages.
// Unsigned 32-bit tick arithmetic: one wrap-around of the counter does no harm.
// endEarly, when given, is asked after every pump: true ends the wait there (a stopped run).
void SleepWithoutFreezeLoop(long long milliseconds, const std::function<std::uint32_t()>& tick,
                            const std::function<bool(std::uint32_t)>& waitForInput,
                            const std::function<void()>& pump,
                            const std::function<bool()>& endEarly = nullptr);

}  // namespace quillet
