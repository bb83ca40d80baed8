#include "usb_frames.h"

#include <PenwickHelpers.h>

#include "byte_order.h"
#include "receiver/serial_frames.h"

namespace sim {

std::vector<uint8_t> EncodeUsbTransfer(const Frame& frame, uint8_t sumDelta, bool swapped) {
  std::vector<uint8_t> payload = frame.payload;
  // The swapping hardware sends whole 16-bit words: an odd frame gets one more payload byte.
  if (swapped && (payload.size() + kUsbFrameOverhead) % 2 != 0) payload.push_back(0);
  std::vector<uint8_t> bytes(kMagic, kMagic + 4);
  bytes.push_back(frame.psn);
  bytes.push_back(frame.cmd);
  bytes.resize(bytes.size() + 2);
  Put16bit(bytes.data() + 6, static_cast<uint16_t>(payload.size()));
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  bytes.push_back(static_cast<uint8_t>(FrameSum(bytes.data() + 4, bytes.size() - 4) + sumDelta));
  return swapped ? usbip::SwapPairs(bytes) : bytes;
}

UsbRx DecodeUsbTransfer(std::span<const uint8_t> wire, bool swapped) {
  UsbRx rx;
  // Swapping the whole transfer brings an odd frame's final byte back from the padding.
  const std::vector<uint8_t> bytes =
      swapped ? usbip::SwapPairs(wire) : std::vector<uint8_t>(wire.begin(), wire.end());
  if (bytes.size() < kUsbFrameOverhead || bytes[0] != kMagic[0] || bytes[1] != kMagic[1] ||
      bytes[2] != kMagic[2] || bytes[3] != kMagic[3])
    return rx;
  const size_t length = Get16bit(bytes.data() + 6);
  if (bytes.size() < length + kUsbFrameOverhead) return rx;
  rx.frame.psn = bytes[4];
  rx.frame.cmd = bytes[5];
  rx.frame.payload.assign(bytes.begin() + 8, bytes.begin() + 8 + static_cast<long>(length));
  rx.kind = FrameSum(bytes.data() + 4, length + 4) == bytes[8 + length] ? UsbRx::Kind::Good
                                                                        : UsbRx::Kind::BadSum;
  return rx;
}

}  // namespace sim
