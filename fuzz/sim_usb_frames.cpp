// The emulated receiver's decoder of the PC's USB transfers, in both byte orders, on arbitrary
// wire bytes: a frame it accepts must encode again to a transfer that decodes to it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_target.h"
#include "usb_frames.h"

namespace {

// Decodes the input's transfer; true when it held a good frame.
bool Decode(const uint8_t* data, size_t size) {
  if (size == 0) return false;
  const bool swapped = (data[0] & 1) != 0;
  const std::vector<uint8_t> wire(data + 1, data + size);
  const sim::UsbRx rx = sim::DecodeUsbTransfer(wire, swapped);
  if (rx.kind == sim::UsbRx::Kind::NotAFrame) return false;
  if (rx.frame.payload.size() + sim::kUsbFrameOverhead > wire.size()) std::abort();
  if (rx.kind != sim::UsbRx::Kind::Good) return false;
  const sim::UsbRx again =
      sim::DecodeUsbTransfer(sim::EncodeUsbTransfer(rx.frame, 0, swapped), swapped);
  // The swapping receiver's own odd frames carry one more payload byte.
  if (again.kind != sim::UsbRx::Kind::Good || again.frame.psn != rx.frame.psn ||
      again.frame.cmd != rx.frame.cmd || again.frame.payload.size() < rx.frame.payload.size() ||
      !std::equal(rx.frame.payload.begin(), rx.frame.payload.end(), again.frame.payload.begin()))
    std::abort();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Decode(data, size);
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return !Decode(data, size);
}
