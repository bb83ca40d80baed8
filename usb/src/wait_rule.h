// The wait rule of the pipe engines: a time-out in milliseconds is spent in 100 ms slices,
// and the I/O abort flag is checked before every slice, so a removal ends a wait within one
// slice. A time-out of 0 waits until the request completes or the flag is set.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace hvusb {

inline constexpr std::chrono::milliseconds kWaitSlice{100};

enum class SliceOutcome { Signalled, TimedOut, Failed };
enum class WaitOutcome { Done, TimedOut, Aborted, Failed };

// Number of 100 ms slices of a time-out (t / 100 with t raised to 100 first); 0 = unlimited.
constexpr uint32_t WaitSlices(uint32_t timeoutMs) {
  if (timeoutMs == 0) return 0;
  return (timeoutMs < 100 ? 100 : timeoutMs) / 100;
}

// Runs the rule; `waitSlice(duration)` waits up to `duration` for the request's event.
template <typename WaitSlice>
WaitOutcome WaitByRule(uint32_t timeoutMs, const std::atomic<bool>& abort, WaitSlice&& waitSlice) {
  const bool unlimited = timeoutMs == 0;
  uint32_t slices = WaitSlices(timeoutMs);
  while (unlimited || slices > 0) {
    if (abort.load()) return WaitOutcome::Aborted;
    switch (waitSlice(kWaitSlice)) {
      case SliceOutcome::Signalled:
        return WaitOutcome::Done;
      case SliceOutcome::TimedOut:
        if (!unlimited) --slices;
        break;
      case SliceOutcome::Failed:
        return WaitOutcome::Failed;
    }
  }
  return abort.load() ? WaitOutcome::Aborted : WaitOutcome::TimedOut;
}

}  // namespace hvusb
