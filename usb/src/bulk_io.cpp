// UsbWrite, UsbRead and InitDevice: whole frames through the staging buffer to and from the
// receiver's bulk pipes. One transfer at a time (the callers ensure it).
#include <cstdlib>
#include <cstring>
#include <new>

#include "HvUsb.h"
#include "bulk_io.h"
#include "library_state.h"
#include "pipe_engine.h"
#include "transfer_plan.h"

namespace hvusb {
namespace {

// Every UsbWrite and UsbRead passes through here; never released, so a transfer still running
// while the process ends never writes into freed memory.
uint8_t* Staging() {
  static auto* staging = new uint8_t[kStagingSize]();
  return staging;
}

std::atomic<bool> exitHandlerRegistered{false};

void ExitHandler() {
  LibraryState& s = State();
  // No notice goes to the program's window once the process is ending.
  Driver().UnregisterNotices(s.noticeRegistration.exchange(0));
  {
    std::lock_guard lock(s.lifecycle);
    s.ioAbort.store(true);
    if (s.deviceOpen.load()) CloseDevice();
  }
  delete[] s.out.pBuf;
  s.out.pBuf = nullptr;
  delete[] s.in.pBuf;
  s.in.pBuf = nullptr;
}

}  // namespace

uint32_t WriteFrame(const uint8_t* data, uint32_t length, uint32_t timeoutMs) {
  LibraryState& s = State();
  if (!s.deviceOpen.load()) return 0;
  s.ioAbort.store(false);
  if (data == nullptr) return 0;
  const pw::usb::Handle pipe = s.out.pipe.load();
  if (pipe == pw::usb::kInvalidHandle) return 0;
  const bool swapped = SwappedMode();
  const auto plan = PlanWrite(length, s.out.maxPacketSize.load(), swapped);
  if (!plan) return 0;
  uint8_t* staging = Staging();
  if (swapped) {
    PairSwap(staging, data, length);
  } else {
    // An odd frame's final byte follows the count (the caller swapped the frame itself); it
    // travels as the first padding byte.
    std::memcpy(staging, data, length + (length % 2));
  }
  return Out(pipe, staging, plan->requestLength, timeoutMs) ? 1 : 0;
}

uint32_t ReadFrame(uint8_t* data, uint32_t expected, uint32_t timeoutMs) {
  LibraryState& s = State();
  if (!s.deviceOpen.load()) return 0;
  s.ioAbort.store(false);
  if (data == nullptr) return 0;
  const pw::usb::Handle pipe = s.in.pipe.load();
  if (pipe == pw::usb::kInvalidHandle) return 0;
  const auto plan = PlanRead(expected, s.in.maxPacketSize.load());
  if (!plan) return 0;
  uint8_t* staging = Staging();
  uint32_t received = 0;
  if (!In(pipe, staging, plan->requestLength, &received, timeoutMs)) return 0;
  // The request is always longer than the copy, so a swap's byte beyond it is the staging's.
  if (SwappedMode()) {
    PairSwap(data, staging, plan->copyLength);
  } else {
    std::memcpy(data, staging, plan->copyLength);
  }
  // Never more than was copied to the caller.
  uint32_t reported = received < plan->copyLength ? received : plan->copyLength;
  return reported > kMaxReadReport ? kMaxReadReport : reported;
}

}  // namespace hvusb

using namespace hvusb;

// Every call waits by the time-out in force then.
extern "C" HV_API uint32_t UsbWrite(const uint8_t* data, uint32_t length) {
  return WriteFrame(data, length, State().writeTimeoutMs.load());
}

extern "C" HV_API uint32_t UsbRead(uint8_t* data, uint32_t expected) {
  return ReadFrame(data, expected, State().readTimeoutMs.load());
}

extern "C" HV_API int InitDevice(void) {
  LibraryState& s = State();
  {
    std::lock_guard lock(s.lifecycle);
    if (s.out.pBuf == nullptr) s.out.pBuf = new (std::nothrow) uint8_t[kTxBufferSize];
    if (s.in.pBuf == nullptr) s.in.pBuf = new (std::nothrow) uint8_t[kTxBufferSize];
    if (!s.deviceOpen.load()) {
      s.out.pipe.store(pw::usb::kInvalidHandle);
      s.out.endpointAddress.store(0);
      s.in.pipe.store(pw::usb::kInvalidHandle);
      s.in.endpointAddress.store(0);
    }
  }
  if (exitHandlerRegistered.exchange(true)) return 0;
  return std::atexit(ExitHandler);
}
