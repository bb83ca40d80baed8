// A running receive task fed arbitrary receiver packets through the scripted fake driver: it
// must end (posting nothing to a null window), never read or write outside its buffers, and
// leave the read time-out as it found it. Input: a start-position byte, then packets, each
// a 2-byte big-endian length and its bytes.
//
// Nothing waits on a clock or a thread: the task runs on the fuzzing thread inside its start
// call, the fake accepts every write at once, a read beyond the packets ends at once without
// bytes (as a timed-out read ends once cancelled), and the task's drain after a bad packet
// makes one read, so it discards the next packet only instead of every packet the input still
// holds. A task that never ended would hang the input (libFuzzer reports a time-out). The
// local file lives in memory-backed /dev/shm when there is one.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "HvUsb.h"
#include "file_task.h"
#include "library_state.h"
#include "penwick/usb_fake.hpp"

namespace {

constexpr char kPath[] = "fake:1-1";
constexpr uint8_t kInEp = 0x82;

pw::usb::FakeBackend* Fake() {
  static pw::usb::FakeBackend* fake = [] {
    pw::usb::SetTimeoutPermille(1);  // a read that does wait (none should) waits one slice
    hvusb::RunTasksInstantly(true);
    auto backend = std::make_unique<pw::usb::FakeBackend>();
    auto* raw = backend.get();
    raw->SetUnscripted(pw::usb::FakeBackend::Timing::Immediate, pw::usb::Status::Cancelled);
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pw::usb::FakeBackend* fake = Fake();
  // A fresh device each time, so no answer is left over from the last input.
  DeviceRemoval(nullptr);
  fake->RemoveDevice(kPath, false);
  fake->AddDevice(kPath, pw::usb::FakeBackend::ReceiverDescriptors(512, 0x0200), false);
  if (DeviceArrival(kPath) != 1) std::abort();
  if (size == 0) return 0;
  const uint8_t position = data[0];
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
  if (hvusb::Tasks().busy.load()) std::abort();  // the task ran inside the call and ended
  if (hvusb::State().readTimeoutMs.load() != hvusb::kDefaultTimeoutMs) std::abort();
  chmod(local, 0600);
  unlink(local);
  return 0;
}
