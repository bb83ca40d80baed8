// The emulated receiver's decoder of the PC's USB transfers, in both byte orders, on arbitrary
// wire bytes: a frame it accepts must encode again to a transfer that decodes to it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "usb_frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool swapped = (data[0] & 1) != 0;
  const std::vector<uint8_t> wire(data + 1, data + size);
  const sim::UsbRx rx = sim::DecodeUsbTransfer(wire, swapped);
  if (rx.kind == sim::UsbRx::Kind::NotAFrame) return 0;
  if (rx.frame.payload.size() + sim::kUsbFrameOverhead > wire.size()) std::abort();
  if (rx.kind != sim::UsbRx::Kind::Good) return 0;
  const sim::UsbRx again =
      sim::DecodeUsbTransfer(sim::EncodeUsbTransfer(rx.frame, 0, swapped), swapped);
  // The swapping receiver's own odd frames carry one more payload byte.
  if (again.kind != sim::UsbRx::Kind::Good || again.frame.psn != rx.frame.psn ||
      again.frame.cmd != rx.frame.cmd || again.frame.payload.size() < rx.frame.payload.size() ||
      !std::equal(rx.frame.payload.begin(), rx.frame.payload.end(), again.frame.payload.begin()))
    std::abort();
  return 0;
}
