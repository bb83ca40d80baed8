// Starting detached threads (with failures injectable for tests) and thread priorities.
#include "worker_threads.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <utility>

#include "penwick/thread_priority.hpp"

namespace transfer {
namespace {

std::atomic<int> g_failingStarts{0};

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
  int failing = g_failingStarts.load();
  while (failing > 0) {
    if (g_failingStarts.compare_exchange_weak(failing, failing - 1)) return false;
  }
  try {
    std::thread(std::move(body)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void SetCurrentThreadPriority(ThreadPriority priority) {
  pw::SetCurrentThreadPriority(priority == ThreadPriority::Highest ? pw::ThreadPriority::Highest
                                                                   : pw::ThreadPriority::Normal);
}

void FailNextThreadStarts(int count) {
  g_failingStarts.store(count);
}

}  // namespace transfer
