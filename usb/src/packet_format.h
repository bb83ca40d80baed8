// The command packet format: a big-endian total length, a CRC-16 over the command and
// payload, a 32-bit command code and the payload. Command codes, the host's reasons, the check
// of a received packet and the sealing of an assembled one. Pure functions, no state.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hvusb {

inline constexpr uint32_t kPktFail = 1;
inline constexpr uint32_t kPktOk = 2;
inline constexpr uint32_t kPktCancel = 3;
inline constexpr uint32_t kPktFileRequest = 0x1008;
inline constexpr uint32_t kPktFileInfo = 0x1009;
inline constexpr uint32_t kPktFileData = 0x100A;
inline constexpr uint32_t kPktFileEnd = 0x100B;

// Reasons the host puts into PKT_FAIL.
inline constexpr uint32_t kReasonNotOk = 0;       // well-formed, but not PKT_OK
inline constexpr uint32_t kReasonCrc = 1;         // the CRC does not match
inline constexpr uint32_t kReasonNotInfo = 3;     // a receive request not answered with info
inline constexpr uint32_t kReasonUnexpected = 4;  // another packet where data was expected
inline constexpr uint32_t kReasonLength = 5;      // length invalid, or nothing received at all
inline constexpr uint32_t kReasonWrite = 10;      // the local file cannot be written

inline constexpr uint32_t kPacketHeaderSize = 8;
inline constexpr uint32_t kFileInfoSize = 114;
inline constexpr uint32_t kDataHeaderSize = 16;  // packet header and the 8-byte file offset
inline constexpr uint32_t kMaxBlock = 65024;     // data bytes in one PKT_FILE_DATA
inline constexpr uint32_t kMaxPayload = 65535 - kPacketHeaderSize;
// Largest transfer of one packet: its total length rounded up to whole OUT packets.
inline constexpr uint32_t kMaxPacketTransfer = 65536;

// A received packet that passed the check.
struct Packet {
  uint32_t command = 0;
  const uint8_t* payload = nullptr;
  uint32_t payloadLength = 0;  // total length - 8
};

struct PacketCheck {
  bool ok = false;
  uint32_t reason = kReasonLength;  // why it failed (kReasonLength when nothing came)
  Packet packet;
};

// Checks `count` received bytes: the total length must be at least 8 and within the bytes
// received, the CRC must match, and a PKT_FILE_DATA must hold its offset (16 bytes at least),
// a PKT_FILE_INFO its 114-byte information. Nothing past `count` is read.
PacketCheck CheckPacket(const uint8_t* bytes, uint32_t count);

// Writes the header of a packet whose payload already sits at packet + 8: total length,
// command and CRC. Returns the total length.
uint32_t SealPacket(uint8_t* packet, uint32_t command, uint32_t payloadLength);

}  // namespace hvusb
