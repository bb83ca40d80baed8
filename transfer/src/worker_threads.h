// The library's threads: detached starts (the platform's, failures injectable for tests) and
// scheduling priorities.
#pragma once

#include "penwick/detached_thread.hpp"

namespace transfer {

using pw::FailNextThreadStarts;
using pw::StartDetachedThread;

enum class ThreadPriority { Normal, Highest };

// Raises or lowers the calling thread's scheduling priority where the system allows it; a
// refusal is ignored.
void SetCurrentThreadPriority(ThreadPriority priority);

}  // namespace transfer
