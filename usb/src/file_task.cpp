// State and shared steps of the file-transfer tasks.
#include "file_task.h"

#include "HvUsb.h"
#include "bulk_io.h"
#include "command_packet.h"
#include "library_state.h"
#include "penwick/usb_driver.hpp"

namespace hvusb {

TaskState& Tasks() {
  static auto* state = new TaskState;
  return *state;
}

uint8_t* TaskPacketBuffer() {
  static auto* buffer = new uint8_t[kMaxPacketTransfer]();
  return buffer;
}

uint8_t* TaskReceiveBuffer() {
  static auto* buffer = new uint8_t[kReceiveBufferSize]();
  return buffer;
}

void SetPercent(uint64_t done, uint64_t total) {
  Tasks().percent.store(static_cast<uint16_t>(done * 100 / (total == 0 ? 1 : total)));
}

bool CancelRequested() {
  return State().taskCancel.load();
}

namespace {
std::atomic<bool> inlineTasks{false};
std::atomic<bool> zeroTaskTimeouts{false};
}  // namespace

std::chrono::milliseconds TaskTimeout(std::chrono::milliseconds unscaled) {
  if (zeroTaskTimeouts.load()) return std::chrono::milliseconds(0);
  return pw::usb::ScaledTimeout(unscaled);
}

void RunTasksInline(bool inlined) {
  inlineTasks.store(inlined);
}

bool TasksRunInline() {
  return inlineTasks.load();
}

void ZeroTaskTimeouts(bool zero) {
  zeroTaskTimeouts.store(zero);
}

bool Drain(std::chrono::milliseconds duration, uint32_t readTimeoutMs) {
  const auto start = std::chrono::steady_clock::now();
  do {
    ReadFrame(TaskReceiveBuffer(), 65535, readTimeoutMs);
    if (CancelRequested()) return false;
  } while (std::chrono::steady_clock::now() - start <= duration);
  return true;
}

}  // namespace hvusb
