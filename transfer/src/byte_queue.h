// The serial receive queue: a ring of 8192 bytes holding at most 8191, with one producer (the
// watch thread) and one consumer (the session's frame receiver). The producer alone advances
// head, the consumer alone advances tail; each reads the other's index to count. A consumer
// that finds the queue empty can sleep on it until the producer adds bytes, a deadline passes
// or someone stopping the session wakes it.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

namespace transfer {

// Not polymorphic: nothing derives from it, and without a virtual table the undefined-
// behaviour checks of a sanitized build need not verify the object's type on every access.
class CByteQueue final {
 public:
  static constexpr int kStorage = 8192;
  static constexpr int kCapacity = kStorage - 1;  // one slot always stays free

  CByteQueue() = default;
  ~CByteQueue() = default;
  CByteQueue(const CByteQueue&) = delete;
  CByteQueue& operator=(const CByteQueue&) = delete;

  int Count() const;
  int Free() const { return kCapacity - Count(); }

  // Producer side.
  bool Push(uint8_t byte);  // false when full
  // All the bytes or none: false (nothing stored) when `length` exceeds Free(). Wakes a
  // waiting consumer.
  bool PushChunk(const uint8_t* data, size_t length);

  // Consumer side.
  bool Pop(uint8_t& byte);  // false when empty
  // Empties the queue by moving the consumer's index to the producer's, so it cannot tear
  // against a producer that is still adding bytes.
  void Reset();
  // Sleeps until the queue holds a byte (true), `stopped` returns true or the deadline
  // passes (false). Whoever makes `stopped` true must call Wake afterwards.
  bool WaitForData(std::chrono::steady_clock::time_point deadline,
                   const std::function<bool()>& stopped);

  // Wakes every consumer in WaitForData so it re-checks its stop condition.
  void Wake();
  // How many consumers sleep in WaitForData now. A Wake or PushChunk after this has been seen
  // non-zero reaches them (tests wait on it instead of sleeping).
  int Sleepers() const { return sleepers_.load(); }

 private:
  std::array<uint8_t, kStorage> storage_{};
  std::atomic<int> head_{0};
  std::atomic<int> tail_{0};
  std::mutex waitMutex_;
  std::condition_variable arrived_;
  std::atomic<int> sleepers_{0};
};

}  // namespace transfer
