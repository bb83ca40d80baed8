// The command packet check over arbitrary received bytes: it must read nothing past them, and
// whatever it accepts must be a packet of the length and shape it claims.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "PenwickHelpers.h"
#include "packet_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy so that AddressSanitizer sees any read past the received bytes.
  const std::vector<uint8_t> bytes(data, data + size);
  const auto count = static_cast<uint32_t>(size > 65535 ? 65535 : size);
  const hvusb::PacketCheck check = hvusb::CheckPacket(bytes.data(), count);
  if (!check.ok) return 0;
  const hvusb::Packet& p = check.packet;
  const uint32_t total = p.payloadLength + hvusb::kPacketHeaderSize;
  if (total > count || total != Get16bit(bytes.data()) || p.payload != bytes.data() + 8) {
    std::abort();
  }
  if (p.command == hvusb::kPktFileData && p.payloadLength < 8) std::abort();
  if (p.command == hvusb::kPktFileInfo && p.payloadLength < hvusb::kFileInfoSize) std::abort();
  if (GetCrc16(bytes.data() + 4, total - 4) != Get16bit(bytes.data() + 2)) std::abort();
  return 0;
}

// The verdict for the must-refuse inputs: the check fails them.
bool FuzzInputRefused(const uint8_t* data, size_t size) {
  const auto count = static_cast<uint32_t>(size > 65535 ? 65535 : size);
  return !hvusb::CheckPacket(data, count).ok;
}
