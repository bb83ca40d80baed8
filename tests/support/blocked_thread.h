// Waiting until another thread of the test is blocked in the kernel (in a wait, a poll or a
// sleep), so that a test acts while that thread waits instead of guessing with a sleep.
#pragma once

#include <chrono>

namespace pwtest {

// The calling thread's kernel id.
int CurrentThreadId();

// True once thread `tid` of this process is blocked (state S or D); false after `bound`.
bool WaitUntilBlocked(int tid, std::chrono::milliseconds bound = std::chrono::seconds(30));

}  // namespace pwtest
