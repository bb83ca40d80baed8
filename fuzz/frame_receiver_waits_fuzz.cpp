// Arbitrary received bytes taken apart by the download and the upload session's frame
// receivers while the bytes still arrive: the frame receiver target's input (a mode byte whose
// bit 0 picks the upload session's receiver, a piece-length byte, a piece being that plus one
// bytes, then the bytes), fed as a serial line feeds the receive queue. A feeder thread, kept
// across inputs, queues every piece left (as many as fit) once the receiver sleeps waiting for
// the rest of a frame, so a frame that straddles pieces is taken whole after a wake-up; when no
// piece is left, the feeder stops the session, which ends the wait. An input costs at most two
// hand-overs between the threads, which makes this target slower than the frame receiver
// target, where the receiver never waits and the rest of a straddling frame is lost.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "frame_check.h"
#include "frames.h"
#include "fuzz_target.h"

#if defined(__clang__)
#define PW_NO_COVERAGE __attribute__((no_sanitize("coverage")))
#else
#define PW_NO_COVERAGE
#endif

namespace {

// The pieces of one input, queued by whichever thread comes first: the fuzzing thread when
// the receiver has taken everything, the feeder thread when the receiver sleeps.
class Pieces {
 public:
  void Start(transfer::CByteQueue* queue, const uint8_t* data, size_t size, size_t piece) {
    std::lock_guard lock(mutex_);
    queue_ = queue;
    data_ = data;
    size_ = size;
    piece_ = piece;
    at_ = 0;
  }
  // Queues the next piece; false when none is left.
  bool QueueNext() {
    std::lock_guard lock(mutex_);
    if (at_ >= size_) return false;
    if (!queue_->PushChunk(data_ + at_, Next())) std::abort();  // the receiver drains every call
    at_ += Next();
    return true;
  }
  // Queues every piece left that fits; false when none is left.
  bool QueueRest() {
    std::lock_guard lock(mutex_);
    if (at_ >= size_) return false;
    while (at_ < size_ && queue_->PushChunk(data_ + at_, Next())) at_ += Next();
    return true;
  }

 private:
  size_t Next() const { return piece_ < size_ - at_ ? piece_ : size_ - at_; }

  std::mutex mutex_;
  transfer::CByteQueue* queue_ = nullptr;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t piece_ = 1;
  size_t at_ = 0;
};

// The feeder thread: while an input runs, queues the pieces left whenever the receiver
// sleeps, and stops the session when the receiver sleeps with nothing left to queue.
class Feeder {
 public:
  Feeder() {
    std::thread([this] { Run(); }).detach();
  }

  void Begin(transfer::CByteQueue* queue, Pieces* pieces) {
    std::lock_guard lock(mutex_);
    queue_ = queue;
    pieces_ = pieces;
    stopped_.store(false);
    active_ = true;
    changed_.notify_all();
  }
  // Returns once the feeder no longer touches the queue.
  void End() {
    std::unique_lock lock(mutex_);
    active_ = false;
    changed_.wait(lock, [&] { return !busy_; });
  }
  bool Stopped() const { return stopped_.load(); }

 private:
  // The feeder's loops spin a number of times that depends on the scheduler: left out of the
  // coverage, so that timing never looks like a new path to the fuzzer.
  PW_NO_COVERAGE void Run() {
    std::unique_lock lock(mutex_);
    while (true) {
      changed_.wait(lock, [&] { return active_; });
      busy_ = true;
      transfer::CByteQueue* queue = queue_;
      Pieces* pieces = pieces_;
      lock.unlock();
      Feed(queue, pieces);
      lock.lock();
      busy_ = false;
      changed_.notify_all();
    }
  }
  PW_NO_COVERAGE void Feed(transfer::CByteQueue* queue, Pieces* pieces) {
    while (Active()) {
      if (queue->Sleepers() == 0) {
        std::this_thread::yield();
        continue;
      }
      if (!pieces->QueueRest()) {
        stopped_.store(true);
        queue->Wake();
        continue;
      }
      // Until the receiver has taken the piece, a sleeper seen is the one just woken.
      while (queue->Count() != 0 && Active()) std::this_thread::yield();
    }
  }
  PW_NO_COVERAGE bool Active() {
    std::lock_guard lock(mutex_);
    return active_;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool active_ = false;
  bool busy_ = false;
  transfer::CByteQueue* queue_ = nullptr;
  Pieces* pieces_ = nullptr;
  std::atomic<bool> stopped_{false};
};

Feeder& TheFeeder() {
  static auto* feeder = new Feeder;  // never destroyed: its thread runs to the process's end
  return *feeder;
}

// Receives every frame of the input; returns how many were whole with a right sum.
size_t ReceiveAll(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bool upload = (data[0] & 1) != 0;
  const size_t piece = static_cast<size_t>(data[1]) + 1;
  data += 2;
  size -= 2;

  transfer::CByteQueue queue;
  Pieces pieces;
  pieces.Start(&queue, data, size, piece);
  Feeder& feeder = TheFeeder();
  transfer::SerialReceiver receiver;
  receiver.queue = &queue;
  receiver.running = [&feeder] { return !feeder.Stopped(); };
  receiver.bodyWait = std::chrono::seconds(10);  // the feeder ends every wait long before
  feeder.Begin(&queue, &pieces);
  uint8_t frame[transfer::kSerialFrameBuffer];
  size_t frames = 0;
  while (queue.Count() > 0 || pieces.QueueNext()) {
    while (queue.Count() > 0) {
      if (fuzz::ReceiveOneFrame(receiver, upload, frame)) ++frames;
    }
  }
  feeder.End();
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReceiveAll(data, size);
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return ReceiveAll(data, size) == 0;
}
