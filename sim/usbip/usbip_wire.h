// USB/IP messages as the server sees them: the operation phase (device list, import) and the
// URB phase (submit, unlink). Headers are big-endian; the setup packet travels raw.
// Decoding never trusts a length: the caller reads exactly the sizes these functions name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sim::usbip {

inline constexpr uint16_t kVersion = 0x0111;
inline constexpr uint16_t kOpReqDevlist = 0x8005;
inline constexpr uint16_t kOpRepDevlist = 0x0005;
inline constexpr uint16_t kOpReqImport = 0x8003;
inline constexpr uint16_t kOpRepImport = 0x0003;
inline constexpr uint32_t kOpStatusOk = 0;
inline constexpr uint32_t kOpStatusNotAvailable = 1;

inline constexpr size_t kOpHeaderSize = 8;
inline constexpr size_t kBusIdSize = 32;
inline constexpr size_t kDeviceRecordSize = 312;
inline constexpr size_t kUrbHeaderSize = 48;

inline constexpr uint32_t kCmdSubmit = 1;
inline constexpr uint32_t kCmdUnlink = 2;
inline constexpr uint32_t kRetSubmit = 3;
inline constexpr uint32_t kRetUnlink = 4;

inline constexpr uint32_t kDirOut = 0;
inline constexpr uint32_t kDirIn = 1;

// Negated Linux errno values carried in status fields.
inline constexpr int32_t kStatusOk = 0;
inline constexpr int32_t kStatusStall = -32;      // EPIPE
inline constexpr int32_t kStatusOverflow = -75;   // EOVERFLOW
inline constexpr int32_t kStatusUnlinked = -104;  // ECONNRESET
inline constexpr int32_t kStatusShutdown = -108;  // ESHUTDOWN

struct OpHeader {
  uint16_t version = 0;
  uint16_t code = 0;
  uint32_t status = 0;
};

OpHeader DecodeOpHeader(std::span<const uint8_t, kOpHeaderSize> bytes);
std::array<uint8_t, kOpHeaderSize> EncodeOpHeader(uint16_t code, uint32_t status);

// The exported device as the device list and the import reply describe it.
struct DeviceRecord {
  std::string path;
  std::string busid;
  uint32_t busnum = 0;
  uint32_t devnum = 0;
  uint32_t speed = 0;
  uint16_t idVendor = 0;
  uint16_t idProduct = 0;
  uint16_t bcdDevice = 0;
  uint8_t deviceClass = 0;
  uint8_t deviceSubclass = 0;
  uint8_t deviceProtocol = 0;
  uint8_t configurationValue = 0;
  uint8_t numConfigurations = 0;
  // One entry per interface: class, subclass, protocol.
  std::vector<std::array<uint8_t, 3>> interfaces;
};

// Appends the 312-byte usb_device record (interface records are not part of it).
void AppendDeviceRecord(std::vector<uint8_t>& out, const DeviceRecord& device);

// OP_REP_DEVLIST with each device's record followed by its interface records.
std::vector<uint8_t> EncodeDevlistReply(std::span<const DeviceRecord> devices);

// OP_REP_IMPORT: the header, and the device record only when the import succeeded.
std::vector<uint8_t> EncodeImportReply(const DeviceRecord* device);

// The busid of an OP_REQ_IMPORT body (32 bytes after the header), up to its first NUL.
std::string DecodeBusId(std::span<const uint8_t, kBusIdSize> bytes);

struct UrbHeader {
  uint32_t command = 0;
  uint32_t seqnum = 0;
  uint32_t devid = 0;
  uint32_t direction = 0;
  uint32_t ep = 0;
  // CMD_SUBMIT fields.
  uint32_t transferFlags = 0;
  int32_t transferBufferLength = 0;
  int32_t numberOfPackets = 0;
  std::array<uint8_t, 8> setup{};
  // CMD_UNLINK field.
  uint32_t unlinkSeqnum = 0;
};

UrbHeader DecodeUrbHeader(std::span<const uint8_t, kUrbHeaderSize> bytes);

// RET_SUBMIT header; for an IN URB the caller sends actualLength data bytes after it.
std::array<uint8_t, kUrbHeaderSize> EncodeRetSubmit(uint32_t seqnum, int32_t status,
                                                    uint32_t actualLength);
std::array<uint8_t, kUrbHeaderSize> EncodeRetUnlink(uint32_t seqnum, int32_t status);

}  // namespace sim::usbip
