// The receiver reboots when the host sends it frame command 11 with no payload. In
// pair-swapped order the frame's odd final byte (its sum) sits in the first padding byte, so
// the swapped transfer must hold at least 10 bytes.
#include "reboot_frame.h"

#include <vector>

#include "byte_order.h"

namespace sim::usbip {
namespace {

constexpr uint8_t kCmdReboot = 11;
constexpr size_t kFrameSize = 9;  // magic, PSN, CMD, LEN (2), SUM

}  // namespace

bool IsRebootFrame(std::span<const uint8_t> wire, bool swapped) {
  const size_t needed = swapped ? kFrameSize + 1 : kFrameSize;
  if (wire.size() < needed) return false;
  const std::vector<uint8_t> frame =
      swapped ? SwapPairs(wire.first(needed))
              : std::vector<uint8_t>(wire.begin(), wire.begin() + needed);
  if (frame[0] != 'H' || frame[1] != 'a' || frame[2] != 'V' || frame[3] != 'o') return false;
  const uint8_t psn = frame[4];
  if (frame[5] != kCmdReboot || frame[6] != 0 || frame[7] != 0) return false;
  return frame[8] == static_cast<uint8_t>(psn + kCmdReboot);
}

}  // namespace sim::usbip
