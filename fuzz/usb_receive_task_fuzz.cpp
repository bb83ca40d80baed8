// A running receive task fed arbitrary receiver packets through the scripted fake driver: it
// must end (posting nothing to a null window), never read or write outside its buffers, and
// leave the read time-out as it found it. Input: a start-position byte, then packets, each
// a 2-byte big-endian length and its bytes; reads beyond them get no answer.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
    pw::usb::SetTimeoutPermille(1);  // 8 s reads wait 8 ms, drains 12 and 20 ms
    auto backend = std::make_unique<pw::usb::FakeBackend>();
    auto* raw = backend.get();
    pw::usb::Driver::Process().Reset(pw::usb::MakeBackends(std::move(backend)));
    InitDevice();
    return raw;
  }();
  return fake;
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
  const std::string local = "/tmp/penwick-receive-fuzz-" + std::to_string(getpid());
  unlink(local.c_str());
  if (position != 0) {  // a partly received file to resume
    std::FILE* file = std::fopen(local.c_str(), "wb");
    if (file == nullptr) std::abort();
    for (uint8_t i = 0; i < position; ++i) std::fputc(i, file);
    std::fclose(file);
  }
  const int started = position == 0
                          ? UsbTaskFileReceive(local.c_str(), "r", nullptr, 1)
                          : UsbTaskFileReceivePosi(local.c_str(), "r", nullptr, 1, 0, position);
  if (started != 1) std::abort();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (hvusb::Tasks().busy.load()) {
    if (std::chrono::steady_clock::now() > deadline) std::abort();  // the task must end
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  if (hvusb::State().readTimeoutMs.load() != hvusb::kDefaultTimeoutMs) std::abort();
  chmod(local.c_str(), 0600);
  unlink(local.c_str());
  return 0;
}
