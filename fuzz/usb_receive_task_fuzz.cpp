// A running receive task fed arbitrary receiver packets through the scripted fake driver: it
// must end (posting nothing to a null window), never read or write outside its buffers, and
// leave the read time-out as it found it. Input: a mode byte, then packets, each a 2-byte
// big-endian length and its bytes.
//
// The mode byte's low six bits are the start position: 0 receives a new file, 1 to 63
// resumes a partly received file of that many bytes. Nothing waits on a clock: the task's
// time-outs are zero, so its drain after a bad packet makes one read and discards the next
// packet only instead of every packet the input still holds. By default the task runs on the
// fuzzing thread inside its start call, the fake accepts every write at once, and a read
// beyond the packets gets no answer: its wait times out at once (the library's waits take no
// time while fuzzing) and the read is cancelled, which the fake completes inside the cancel.
// Bit 7 runs the task on its own thread, as the program does, and the fuzzing thread waits
// for its end; bit 6 has the fake complete writes from its own thread, without delay, so the
// library waits for them for real, and a read beyond the packets then ends at once, cancelled,
// without bytes. A cancel on the task's own thread is completed from the fake's thread. A
// task that never ended would hang the input (libFuzzer reports a time-out).
// The local file lives in memory-backed /dev/shm when there is one.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "HvUsb.h"
#include "file_task.h"
#include "library_state.h"
#include "penwick/usb_fake.hpp"

namespace {

constexpr char kPath[] = "fake:1-1";
constexpr uint8_t kInEp = 0x82;

pw::usb::FakeBackend* Fake() {
  static pw::usb::FakeBackend* fake = [] {
    pw::usb::SetTimeoutPermille(1);  // every read's time-out is one (zero-length) slice
    hvusb::ZeroTaskTimeouts(true);
    auto backend = std::make_unique<pw::usb::FakeBackend>();
    auto* raw = backend.get();
    raw->SetCancelDelay(std::chrono::milliseconds(0));
    pw::usb::Driver::Process().Reset(pw::usb::MakeBackends(std::move(backend)));
    InitDevice();
    return raw;
  }();
  return fake;
}

const std::string& LocalPath() {
  static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/penwick-receive-fuzz-" + std::to_string(getpid());
  return path;
}

// Sets how the task runs and how the fake answers, from the mode byte.
void SetMode(pw::usb::FakeBackend* fake, uint8_t mode) {
  using Timing = pw::usb::FakeBackend::Timing;
  const bool threaded = (mode & 0x80) != 0;
  const bool laterWrites = (mode & 0x40) != 0;
  hvusb::RunTasksInline(!threaded);
  hvusb::State().instantWaits.store(!laterWrites);
  if (laterWrites) {
    fake->SetUnscripted(Timing::Later, pw::usb::Status::Cancelled, std::chrono::milliseconds(0));
  } else {
    // Reads beyond the packets get no answer, as from a silent receiver.
    fake->SetUnscripted(Timing::Immediate, std::nullopt);
  }
  // A cancel on the task's own thread is completed from the fake's thread.
  fake->SetCancelInstant(!threaded);
}

// Waits for a task started on its own thread to end.
void AwaitTaskEnd() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (hvusb::Tasks().busy.load()) {
    if (std::chrono::steady_clock::now() > deadline) std::abort();  // the task must end
    std::this_thread::yield();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pw::usb::FakeBackend* fake = Fake();
  // A fresh device each time, so no answer is left over from the last input.
  DeviceRemoval(nullptr);
  fake->RemoveDevice(kPath, false);
  fake->AddDevice(kPath, pw::usb::FakeBackend::ReceiverDescriptors(512, 0x0200), false);
  if (DeviceArrival(kPath) != 1) std::abort();
  if (size == 0) return 0;
  SetMode(fake, data[0]);
  const uint8_t position = data[0] & 0x3F;
  for (size_t at = 1; at + 2 <= size;) {
    const size_t length = static_cast<size_t>(data[at]) << 8 | data[at + 1];
    at += 2;
    pw::usb::FakeBackend::Reply reply;
    reply.data.assign(data + at, data + std::min(size, at + length));
    reply.timing = pw::usb::FakeBackend::Timing::Immediate;
    fake->ScriptRead(kPath, kInEp, std::move(reply));
    at += length;
  }
  const char* local = LocalPath().c_str();
  unlink(local);
  if (position != 0) {  // a partly received file to resume
    std::FILE* file = std::fopen(local, "wb");
    if (file == nullptr) std::abort();
    for (uint8_t i = 0; i < position; ++i) std::fputc(i, file);
    std::fclose(file);
  }
  const int started = position == 0 ? UsbTaskFileReceive(local, "r", nullptr, 1)
                                    : UsbTaskFileReceivePosi(local, "r", nullptr, 1, 0, position);
  if (started != 1) std::abort();
  if (hvusb::TasksRunInline()) {
    if (hvusb::Tasks().busy.load()) std::abort();  // the task ran inside the call and ended
  } else {
    AwaitTaskEnd();
  }
  if (hvusb::State().readTimeoutMs.load() != hvusb::kDefaultTimeoutMs) std::abort();
  chmod(local, 0600);
  unlink(local);
  return 0;
}
