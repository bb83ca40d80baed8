// The receiver's side of the command packets: big-endian total length, CRC-16 over the command
// and payload, 32-bit command, payload. Decoding says exactly what is wrong with a packet, so
// the file store can report the host's faults.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim::files {

enum PacketCommand : std::uint32_t {
  kFail = 1,
  kOk = 2,
  kCancel = 3,
  kFileRequest = 0x1008,
  kFileInfo = 0x1009,
  kFileData = 0x100A,
  kFileEnd = 0x100B,
};

inline constexpr std::size_t kInfoSize = 114;
inline constexpr std::size_t kMaxData = 65024;

// The receiver's own reasons in its PKT_FAIL (big-endian on the wire).
enum Reason : std::uint32_t {
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
  std::uint32_t command = 0;
  std::vector<std::uint8_t> payload;
};

// Packet bytes for `command` and `payload`.
std::vector<std::uint8_t> EncodePacket(std::uint32_t command,
                                       std::span<const std::uint8_t> payload = {});

// Decodes one OUT transfer's packet bytes (already in natural order). The transfer must be
// the packet's total length rounded up to whole packets of `max_packet` bytes. On a fault
// returns nothing and says why in `*error`.
std::optional<CommandPacket> DecodePacket(std::span<const std::uint8_t> transfer,
                                          std::uint16_t max_packet, std::string* error);

const char* CommandName(std::uint32_t command);

std::uint64_t Read64(const std::uint8_t* p);
void Append64(std::vector<std::uint8_t>* out, std::uint64_t value);
void Append32(std::vector<std::uint8_t>* out, std::uint32_t value);

}  // namespace sim::files
