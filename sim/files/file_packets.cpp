// Command packet coding on the receiver's side.
#include "file_packets.h"

#include "PenwickHelpers.h"

namespace sim::files {

std::vector<uint8_t> EncodePacket(uint32_t command, std::span<const uint8_t> payload) {
  std::vector<uint8_t> packet(8 + payload.size());
  Put16bit(packet.data(), static_cast<uint16_t>(packet.size()));
  Put32bit(packet.data() + 4, command);
  std::copy(payload.begin(), payload.end(), packet.begin() + 8);
  Put16bit(packet.data() + 2,
           GetCrc16(packet.data() + 4, static_cast<uint32_t>(packet.size() - 4)));
  return packet;
}

std::optional<CommandPacket> DecodePacket(std::span<const uint8_t> transfer, uint16_t maxPacket,
                                          std::string* error) {
  if (transfer.size() < 8) {
    *error = "a transfer of " + std::to_string(transfer.size()) + " bytes";
    return std::nullopt;
  }
  const size_t total = Get16bit(transfer.data());
  const size_t unit = maxPacket == 0 ? 1 : maxPacket;
  const size_t expected = (total + unit - 1) / unit * unit;
  if (total < 8 || expected != transfer.size()) {
    *error = "length " + std::to_string(total) + " in a transfer of " +
             std::to_string(transfer.size()) + " bytes";
    return std::nullopt;
  }
  const uint16_t crc = GetCrc16(transfer.data() + 4, static_cast<uint32_t>(total - 4));
  if (Get16bit(transfer.data() + 2) != crc) {
    *error = "CRC mismatch";
    return std::nullopt;
  }
  CommandPacket packet;
  packet.command = Get32bit(transfer.data() + 4);
  packet.payload.assign(transfer.begin() + 8, transfer.begin() + static_cast<ptrdiff_t>(total));
  return packet;
}

const char* CommandName(uint32_t command) {
  switch (command) {
    case kFail:
      return "FAIL";
    case kOk:
      return "OK";
    case kCancel:
      return "CANCEL";
    case kFileRequest:
      return "REQUEST";
    case kFileInfo:
      return "INFO";
    case kFileData:
      return "DATA";
    case kFileEnd:
      return "END";
    default:
      return "UNKNOWN";
  }
}

uint64_t Read64(const uint8_t* p) {
  return static_cast<uint64_t>(Get32bit(p)) << 32 | Get32bit(p + 4);
}

void Append32(std::vector<uint8_t>* out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

void Append64(std::vector<uint8_t>* out, uint64_t value) {
  Append32(out, static_cast<uint32_t>(value >> 32));
  Append32(out, static_cast<uint32_t>(value));
}

}  // namespace sim::files
