// The USB/IP wire format as the client side speaks it: operation requests and replies (device
// list, import) and URB headers (submit, unlink and their replies). Pure functions over bytes;
// every length read from the wire is checked before it is used.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "penwick/platform_api.h"
#include "penwick/usb_driver.hpp"

namespace pw::usb::usbip {

inline constexpr uint16_t kVersion = 0x0111;
inline constexpr uint16_t kOpReqDevlist = 0x8005;
inline constexpr uint16_t kOpRepDevlist = 0x0005;
inline constexpr uint16_t kOpReqImport = 0x8003;
inline constexpr uint16_t kOpRepImport = 0x0003;
inline constexpr size_t kOpHeaderSize = 8;
inline constexpr size_t kDeviceRecordSize = 312;
inline constexpr size_t kBusIdSize = 32;
inline constexpr size_t kUrbHeaderSize = 48;

inline constexpr uint32_t kCmdSubmit = 1;
inline constexpr uint32_t kCmdUnlink = 2;
inline constexpr uint32_t kRetSubmit = 3;
inline constexpr uint32_t kRetUnlink = 4;
inline constexpr uint32_t kDirIn = 0x0200;  // transfer_flags of an IN submit

// Any reply larger than this many devices is treated as malformed.
inline constexpr uint32_t kMaxDevices = 256;
// The largest URB data stage the client accepts.
inline constexpr uint32_t kMaxTransfer = 1u << 20;

// Pulls exact byte counts from a stream (a socket, or memory in tests and fuzzing).
class PW_PLATFORM_API ByteReader {
 public:
  virtual ~ByteReader() = default;
  // Fills all of `out` or returns false (end of stream, error, time-out).
  virtual bool Read(std::span<uint8_t> out) = 0;
};

class PW_PLATFORM_API MemoryReader final : public ByteReader {
 public:
  explicit MemoryReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool Read(std::span<uint8_t> out) override;
  size_t Left() const { return bytes_.size() - at_; }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

struct ExportedDevice {
  std::string path;
  std::string busId;
  uint32_t busNum = 0;
  uint32_t devNum = 0;
  uint32_t speed = 0;
  uint16_t idVendor = 0;
  uint16_t idProduct = 0;
  uint16_t bcdDevice = 0;
  uint8_t numInterfaces = 0;
  uint32_t DevId() const { return busNum << 16 | (devNum & 0xFFFF); }
};

// OP_REQ_DEVLIST and OP_REQ_IMPORT as sent.
PW_PLATFORM_API std::vector<uint8_t> EncodeDevlistRequest();
PW_PLATFORM_API std::vector<uint8_t> EncodeImportRequest(const std::string& busId);

// Reads an OP_REP_DEVLIST. Nullopt on a wrong version or code, a non-zero status, more than
// kMaxDevices, or a short stream.
PW_PLATFORM_API std::optional<std::vector<ExportedDevice>> ReadDevlistReply(ByteReader& in);

// Reads an OP_REP_IMPORT. `status` gets the reply's status (or -1 for a malformed reply);
// a device only with status 0 and a record naming `busId`.
PW_PLATFORM_API std::optional<ExportedDevice> ReadImportReply(ByteReader& in,
                                                              const std::string& busId,
                                                              int32_t* status);

// A CMD_SUBMIT header (OUT data follows it separately).
PW_PLATFORM_API std::array<uint8_t, kUrbHeaderSize> EncodeSubmit(
    uint32_t seqnum, uint32_t devid, Direction direction, uint8_t endpointNumber, uint32_t length,
    const std::array<uint8_t, 8>& setup);
PW_PLATFORM_API std::array<uint8_t, kUrbHeaderSize> EncodeUnlink(uint32_t seqnum, uint32_t devid,
                                                                 uint32_t victim);

struct UrbReply {
  uint32_t command = 0;  // kRetSubmit or kRetUnlink
  uint32_t seqnum = 0;
  int32_t status = 0;
  uint32_t actualLength = 0;  // RET_SUBMIT
};
// Decodes the 48-byte header of a server reply. Nullopt for any other command.
PW_PLATFORM_API std::optional<UrbReply> DecodeReplyHeader(
    std::span<const uint8_t, kUrbHeaderSize> header);

// The driver's status for a URB status (negated errno).
PW_PLATFORM_API Status StatusFromUrb(int32_t status);

// What the client knows of a submitted URB when its reply comes.
struct Outstanding {
  Direction direction = Direction::Out;
  uint32_t length = 0;
};

// Reads one complete server reply (header and, for an IN RET_SUBMIT, its data into `data`).
// `lookup` tells for a RET_SUBMIT's seqnum whether it is outstanding. Returns nullopt when the
// stream breaks or the reply is one a client must drop the connection for (unknown command,
// RET_SUBMIT for an unknown seqnum, actual_length larger than the buffer).
PW_PLATFORM_API std::optional<UrbReply> ReadReply(
    ByteReader& in, const std::function<std::optional<Outstanding>(uint32_t)>& lookup,
    std::vector<uint8_t>* data);

}  // namespace pw::usb::usbip
