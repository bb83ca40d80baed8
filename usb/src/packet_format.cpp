// The command packet check and sealing.
#include "packet_format.h"

#include "PenwickHelpers.h"

namespace hvusb {

PacketCheck CheckPacket(const uint8_t* bytes, uint32_t count) {
  PacketCheck check;
  // Nothing received, a length that does not fit: kReasonLength, the reason set at the start.
  if (count < 2 || bytes == nullptr) return check;
  const uint32_t total = Get16bit(bytes);
  if (total > count || total < kPacketHeaderSize) return check;
  if (Get16bit(bytes + 2) != GetCrc16(bytes + 4, total - 4)) {
    check.reason = kReasonCrc;
    return check;
  }
  const uint32_t command = Get32bit(bytes + 4);
  if ((command == kPktFileData && total < kDataHeaderSize) ||
      (command == kPktFileInfo && total < kPacketHeaderSize + kFileInfoSize)) {
    return check;
  }
  check.ok = true;
  check.packet = {command, bytes + kPacketHeaderSize, total - kPacketHeaderSize};
  return check;
}

uint32_t SealPacket(uint8_t* packet, uint32_t command, uint32_t payloadLength) {
  const uint32_t total = payloadLength + kPacketHeaderSize;
  Put16bit(packet, static_cast<uint16_t>(total));
  Put32bit(packet + 4, command);
  Put16bit(packet + 2, GetCrc16(packet + 4, total - 4));
  return total;
}

}  // namespace hvusb
