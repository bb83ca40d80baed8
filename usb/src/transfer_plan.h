// Byte counts of one bulk transfer: how many bytes a write sends and how many a read asks for
// and copies back, and the pairwise byte exchange of swapped mode. Pure functions, no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace hvusb {

// Largest frame UsbWrite accepts.
inline constexpr uint32_t kMaxWriteLength = 65536;
// Every UsbWrite and UsbRead passes through one staging buffer of this size: the largest
// request a read can make with a 512-byte packet (65,537 rounded up to 512).
inline constexpr size_t kStagingSize = 65536 + 512;
// UsbRead never reports more than this.
inline constexpr uint32_t kMaxReadReport = 65535;

struct WritePlan {
  uint32_t requestLength;  // bytes sent on the pipe: whole packets
};

struct ReadPlan {
  uint32_t copyLength;     // bytes moved back to the caller (expected, or expected + 1 or + 2)
  uint32_t requestLength;  // bytes asked of the pipe: an even number of whole packets
};

// A write of `length` bytes on a pipe of packet size `maxPacket`. An odd length carries one
// byte more (the byte after the frame, see UsbWrite) unless `swapped`. Fails for a length
// above 65,536, a packet size of 0 (no pipe) or a request that would not fit the staging
// buffer.
std::optional<WritePlan> PlanWrite(uint32_t length, uint32_t maxPacket, bool swapped);

// A read of `expected` bytes: when expected or expected + 1 is a whole number of packets,
// two more bytes are asked for, so that a reply of the expected size never fills the request
// exactly. Fails when the adjusted count reaches 65,538, for a packet size of 0 or a request
// that would not fit the staging buffer.
std::optional<ReadPlan> PlanRead(uint32_t expected, uint32_t maxPacket);

// Swaps the bytes of every pair of `source` into `destination` (n bytes). For an odd n the
// last destination byte is source[n]: `source` must have n + 1 readable bytes then.
void PairSwap(uint8_t* destination, const uint8_t* source, size_t n);

// Swapped mode is in force for device versions 0x0100 to 0x01FF.
constexpr bool IsSwappedVersion(uint32_t version) {
  return version >= 0x0100 && version <= 0x01FF;
}

}  // namespace hvusb
