// Thread priorities as nice values of the calling thread. Raising a priority needs a privilege
// most users lack; a refusal is ignored, and real-time scheduling is never used.
#pragma once

#include "penwick/platform_api.h"

namespace pw {

enum class ThreadPriority { Normal, Highest };

PW_PLATFORM_API void SetCurrentThreadPriority(ThreadPriority priority);

}  // namespace pw
