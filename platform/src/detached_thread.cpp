// Detached thread starts, with failures injectable for tests.
#include "penwick/detached_thread.hpp"

#include <atomic>
#include <thread>
#include <utility>

namespace pw {
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
  } catch (...) {  // no thread (std::system_error) or no memory for it
    return false;
  }
}

void FailNextThreadStarts(int count) {
  g_failingStarts.store(count);
}

}  // namespace pw
