// The receiver's USB frames on the wire: "HaVo", PSN, CMD, LEN (2 bytes, big-endian), payload,
// SUM (the 8-bit sum of PSN, CMD, LEN and the payload), in the receiver's byte order: natural
// for device versions 0100..01FF, pair-swapped by the receiver's hardware for any other. Such
// a receiver reads an odd-length frame's final byte from the first padding byte of the transfer
// and sends no odd-length transfer: its frames of odd length carry one more payload byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "receiver/protocol.h"

namespace sim {

inline constexpr size_t kUsbFrameOverhead = 9;  // magic, PSN, CMD, LEN, SUM
inline constexpr size_t kMaxUsbPayload = 0xFFFF;

// The transfer that carries `frame` (payload at most 65535 bytes, 65534 when `swapped` and the
// frame would be odd); `sumDelta` is added to the SUM (a deliberate fault).
std::vector<uint8_t> EncodeUsbTransfer(const Frame& frame, uint8_t sumDelta, bool swapped);

struct UsbRx {
  enum class Kind { Good, BadSum, NotAFrame } kind = Kind::NotAFrame;
  Frame frame;
};

// Takes one frame from a transfer the PC wrote (padding after the frame is ignored).
// NotAFrame when the transfer does not start with the magic or is shorter than its LEN says.
UsbRx DecodeUsbTransfer(std::span<const uint8_t> wire, bool swapped);

}  // namespace sim
