// Starting the libraries' worker threads. Nothing joins them: each ends by itself, and whatever
// it uses it keeps alive through what it was given. A start the system refuses gives false, so
// the caller can undo what it claimed; tests make starts fail on purpose.
#pragma once

#include <functional>

#include "penwick/platform_api.h"

namespace pw {

// Starts `body` on a detached thread; false when the thread cannot be created.
PW_PLATFORM_API bool StartDetachedThread(std::function<void()> body);

// Makes the next `count` starts fail as if the system had refused them (tests).
PW_PLATFORM_API void FailNextThreadStarts(int count);

}  // namespace pw
