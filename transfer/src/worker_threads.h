// Starting the library's threads. Nothing joins them: each ends by itself, and whatever it
// uses it keeps alive through the shared pointers it was given.
#pragma once

#include <functional>

namespace transfer {

enum class ThreadPriority { Normal, Highest };

// Starts `body` on a detached thread; false when the thread cannot be created.
bool StartDetachedThread(std::function<void()> body);

// Raises or lowers the calling thread's scheduling priority where the system allows it; a
// refusal is ignored.
void SetCurrentThreadPriority(ThreadPriority priority);

// Makes the next `count` thread starts fail as if the system had refused them (tests).
void FailNextThreadStarts(int count);

}  // namespace transfer
