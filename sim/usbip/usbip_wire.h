// USB/IP messages as the server sees them: the operation phase (device list, import) and the
// URB phase (submit, unlink). Headers are big-endian; the setup packet travels raw.
// Decoding never trusts a length: the caller reads exactly the sizes these functions name.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sim::usbip {

inline constexpr std::uint16_t kVersion = 0x0111;
inline constexpr std::uint16_t kOpReqDevlist = 0x8005;
inline constexpr std::uint16_t kOpRepDevlist = 0x0005;
inline constexpr std::uint16_t kOpReqImport = 0x8003;
inline constexpr std::uint16_t kOpRepImport = 0x0003;
inline constexpr std::uint32_t kOpStatusOk = 0;
inline constexpr std::uint32_t kOpStatusNotAvailable = 1;

inline constexpr std::size_t kOpHeaderSize = 8;
inline constexpr std::size_t kBusIdSize = 32;
inline constexpr std::size_t kDeviceRecordSize = 312;
inline constexpr std::size_t kUrbHeaderSize = 48;

inline constexpr std::uint32_t kCmdSubmit = 1;
inline constexpr std::uint32_t kCmdUnlink = 2;
inline constexpr std::uint32_t kRetSubmit = 3;
inline constexpr std::uint32_t kRetUnlink = 4;

inline constexpr std::uint32_t kDirOut = 0;
inline constexpr std::uint32_t kDirIn = 1;

// Negated Linux errno values carried in status fields.
inline constexpr std::int32_t kStatusOk = 0;
inline constexpr std::int32_t kStatusStall = -32;      // EPIPE
inline constexpr std::int32_t kStatusOverflow = -75;   // EOVERFLOW
inline constexpr std::int32_t kStatusUnlinked = -104;  // ECONNRESET
inline constexpr std::int32_t kStatusShutdown = -108;  // ESHUTDOWN

struct OpHeader {
  std::uint16_t version = 0;
  std::uint16_t code = 0;
  std::uint32_t status = 0;
};

OpHeader DecodeOpHeader(std::span<const std::uint8_t, kOpHeaderSize> bytes);
std::array<std::uint8_t, kOpHeaderSize> EncodeOpHeader(std::uint16_t code, std::uint32_t status);

// The exported device as the device list and the import reply describe it.
struct DeviceRecord {
  std::string path;
  std::string busid;
  std::uint32_t busnum = 0;
  std::uint32_t devnum = 0;
  std::uint32_t speed = 0;
  std::uint16_t id_vendor = 0;
  std::uint16_t id_product = 0;
  std::uint16_t bcd_device = 0;
  std::uint8_t device_class = 0;
  std::uint8_t device_subclass = 0;
  std::uint8_t device_protocol = 0;
  std::uint8_t configuration_value = 0;
  std::uint8_t num_configurations = 0;
  // One entry per interface: class, subclass, protocol.
  std::vector<std::array<std::uint8_t, 3>> interfaces;
};

// Appends the 312-byte usb_device record (interface records are not part of it).
void AppendDeviceRecord(std::vector<std::uint8_t>& out, const DeviceRecord& device);

// OP_REP_DEVLIST with each device's record followed by its interface records.
std::vector<std::uint8_t> EncodeDevlistReply(std::span<const DeviceRecord> devices);

// OP_REP_IMPORT: the header, and the device record only when the import succeeded.
std::vector<std::uint8_t> EncodeImportReply(const DeviceRecord* device);

// The busid of an OP_REQ_IMPORT body (32 bytes after the header), up to its first NUL.
std::string DecodeBusId(std::span<const std::uint8_t, kBusIdSize> bytes);

struct UrbHeader {
  std::uint32_t command = 0;
  std::uint32_t seqnum = 0;
  std::uint32_t devid = 0;
  std::uint32_t direction = 0;
  std::uint32_t ep = 0;
  // CMD_SUBMIT fields.
  std::uint32_t transfer_flags = 0;
  std::int32_t transfer_buffer_length = 0;
  std::int32_t number_of_packets = 0;
  std::array<std::uint8_t, 8> setup{};
  // CMD_UNLINK field.
  std::uint32_t unlink_seqnum = 0;
};

UrbHeader DecodeUrbHeader(std::span<const std::uint8_t, kUrbHeaderSize> bytes);

// RET_SUBMIT header; for an IN URB the caller sends actual_length data bytes after it.
std::array<std::uint8_t, kUrbHeaderSize> EncodeRetSubmit(std::uint32_t seqnum, std::int32_t status,
                                                         std::uint32_t actual_length);
std::array<std::uint8_t, kUrbHeaderSize> EncodeRetUnlink(std::uint32_t seqnum, std::int32_t status);

}  // namespace sim::usbip
