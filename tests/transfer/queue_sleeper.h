// Waits (bounded) until a consumer sleeps on a receive queue, so that what a test does next
// happens while it waits, however slow the machine.
#pragma once

#include <chrono>
#include <thread>

#include "byte_queue.h"

namespace testpeer {

inline bool WaitForSleeper(const transfer::CByteQueue& queue,
                           std::chrono::seconds bound = std::chrono::seconds(30)) {
  const auto until = std::chrono::steady_clock::now() + bound;
  while (queue.Sleepers() == 0) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace testpeer
