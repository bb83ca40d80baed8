// The serial receive queue: pushes, pops, reset, and the consumer's wait for data.
#include "byte_queue.h"

#include <algorithm>
#include <cstring>

namespace transfer {

int CByteQueue::Count() const {
  const int head = head_.load(std::memory_order_acquire);
  const int tail = tail_.load(std::memory_order_acquire);
  return (head - tail + kStorage) % kStorage;
}

bool CByteQueue::Push(uint8_t byte) {
  if (Count() == kCapacity) return false;
  const int head = head_.load(std::memory_order_relaxed);
  storage_[static_cast<size_t>(head)] = byte;
  head_.store((head + 1) % kStorage, std::memory_order_release);
  return true;
}

bool CByteQueue::PushChunk(const uint8_t* data, size_t length) {
  if (length > static_cast<size_t>(Free())) return false;
  const auto head = static_cast<size_t>(head_.load(std::memory_order_relaxed));
  // Two copies at most: up to the end of the ring, then the rest from its start.
  const size_t first = std::min(length, kStorage - head);
  std::memcpy(storage_.data() + head, data, first);
  std::memcpy(storage_.data(), data + first, length - first);
  head_.store(static_cast<int>((head + length) % kStorage), std::memory_order_release);
  Wake();
  return true;
}

bool CByteQueue::Pop(uint8_t& byte) {
  if (Count() == 0) return false;
  const int tail = tail_.load(std::memory_order_relaxed);
  byte = storage_[static_cast<size_t>(tail)];
  tail_.store((tail + 1) % kStorage, std::memory_order_release);
  return true;
}

void CByteQueue::Reset() {
  tail_.store(head_.load(std::memory_order_acquire), std::memory_order_release);
}

bool CByteQueue::WaitForData(std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& stopped) {
  std::unique_lock lock(waitMutex_);
  while (Count() == 0) {
    if (stopped && stopped()) return false;
    // A deadline already past needs no sleep (a sleep until it is a system call all the same).
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Counted under the lock, which wait_until gives up only once it sleeps.
    ++sleepers_;
    const std::cv_status status = arrived_.wait_until(lock, deadline);
    --sleepers_;
    if (status == std::cv_status::timeout) return Count() != 0 && !(stopped && stopped());
  }
  return true;
}

void CByteQueue::Wake() {
  { std::lock_guard lock(waitMutex_); }
  arrived_.notify_all();
}

}  // namespace transfer
