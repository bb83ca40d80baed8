// The receiver's side of the command packets: big-endian total length, CRC-16 over the command
// and payload, 32-bit command, payload. Decoding says exactly what is wrong with a packet, so
// the file store can report the host's faults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim::files {

enum PacketCommand : uint32_t {
  kFail = 1,
  kOk = 2,
  kCancel = 3,
  kFileRequest = 0x1008,
  kFileInfo = 0x1009,
  kFileData = 0x100A,
  kFileEnd = 0x100B,
};

inline constexpr size_t kInfoSize = 114;
inline constexpr size_t kMaxData = 65024;

// The receiver's own reasons in its PKT_FAIL (big-endian on the wire).
enum Reason : uint32_t {
  kReasonBadPacket = 1,   // length, transfer size or CRC wrong
  kReasonNoFile = 2,      // no stored file of that name
  kReasonBadName = 3,     // a name the store does not accept
  kReasonUnexpected = 4,  // a packet that does not fit the exchange
  kReasonBadField = 5,    // a field out of range (type, time, offset, size)
  kReasonStore = 6,       // the store cannot read or write the file
  kReasonRefused = 7,     // refused on request (fault injection)
  kReasonNoTransfer = 8,  // the transfer was abandoned
  kReasonPosition = 9,    // start position beyond the end of the file
};

struct CommandPacket {
  uint32_t command = 0;
  std::vector<uint8_t> payload;
};

// Packet bytes for `command` and `payload`.
std::vector<uint8_t> EncodePacket(uint32_t command, std::span<const uint8_t> payload = {});

// Decodes one OUT transfer's packet bytes (already in natural order). The transfer must be
// the packet's total length rounded up to whole packets of `maxPacket` bytes. On a fault
// returns nothing and says why in `*error`.
std::optional<CommandPacket> DecodePacket(std::span<const uint8_t> transfer, uint16_t maxPacket,
                                          std::string* error);

const char* CommandName(uint32_t command);

uint64_t Read64(const uint8_t* p);
void Append64(std::vector<uint8_t>* out, uint64_t value);
void Append32(std::vector<uint8_t>* out, uint32_t value);

}  // namespace sim::files
