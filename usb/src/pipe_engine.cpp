// Out and In: one driver request per call. A request that is done when the driver returns it
// (completed at once, or refused at once) is judged at once; otherwise it is waited for in
// 100 ms slices. A request given up (time-out, abort) is cancelled and then waited for, bounded,
// so that nothing of it is still running when the call returns.
#include "pipe_engine.h"

#include <chrono>
#include <cstring>

#include "library_state.h"
#include "wait_rule.h"

namespace hvusb {
namespace {

using pw::usb::RequestPtr;
using pw::usb::Status;

// A cancelled request normally ends within milliseconds; a driver that never ends it must not
// hang the caller.
constexpr std::chrono::milliseconds kCancelDrain{2000};

uint32_t EffectiveTimeout(uint32_t ms) {
  if (ms == 0) return 0;
  return static_cast<uint32_t>(pw::usb::ScaledTimeout(std::chrono::milliseconds(ms)).count());
}

// Waits for `request` by the wait rule; on failure cancels the pipe's requests and drains.
bool Await(pw::usb::Handle pipe, const RequestPtr& request, uint32_t timeoutMs) {
  const WaitOutcome outcome =
      WaitByRule(EffectiveTimeout(timeoutMs), State().ioAbort, [&](std::chrono::milliseconds d) {
        const auto slice = State().instantWaits.load() ? std::chrono::milliseconds(0) : d;
        return request->Wait(slice) ? SliceOutcome::Signalled : SliceOutcome::TimedOut;
      });
  if (outcome == WaitOutcome::Done) return true;
  Driver().CancelIo(pipe);
  request->Wait(kCancelDrain);
  return false;
}

}  // namespace

bool Out(pw::usb::Handle pipe, const uint8_t* buffer, uint32_t length, uint32_t timeoutMs) {
  const RequestPtr request = Driver().Write(pipe, buffer, length);
  if (!Await(pipe, request, timeoutMs)) return false;
  if (request->status() != Status::Success) {
    GetLastUsbdStatus();
    return false;
  }
  return request->Transferred() == length;
}

bool In(pw::usb::Handle pipe, uint8_t* buffer, uint32_t length, uint32_t* count,
        uint32_t timeoutMs) {
  std::memset(buffer, 0, length);
  const RequestPtr request = Driver().Read(pipe, length);
  if (!Await(pipe, request, timeoutMs)) return false;
  if (request->status() != Status::Success) {
    GetLastUsbdStatus();
    return false;
  }
  const auto received = request->Received();
  const size_t n = received.size() < length ? received.size() : length;
  if (n != 0) std::memcpy(buffer, received.data(), n);
  *count = static_cast<uint32_t>(n);
  return true;
}

bool GetLastUsbdStatus() {
  pw::usb::Handle device;
  {
    std::lock_guard lock(State().mutex);
    device = State().context.device;
  }
  uint32_t status = 0;
  return Driver().IoControl(device, pw::usb::kIoctlGetLastStatus, &status, sizeof status, &status,
                            sizeof status, nullptr) == Status::Success;
}

bool GetDriverInfo() {
  pw::usb::Handle device;
  {
    std::lock_guard lock(State().mutex);
    device = State().context.device;
  }
  uint32_t version = 0;
  if (Driver().IoControl(device, pw::usb::kIoctlGetDriverVersion, nullptr, 0, &version,
                         sizeof version, nullptr) != Status::Success) {
    return false;
  }
  uint32_t checked = 0;
  return Driver().IoControl(device, pw::usb::kIoctlIsCheckedBuild, nullptr, 0, &checked,
                            sizeof checked, nullptr) == Status::Success;
}

}  // namespace hvusb
