// Encoding and decoding of USB/IP operations and URB headers. USB/IP's own fields are
// big-endian; the setup packet travels in USB's own (little-endian) layout, untouched.
#include "usbip_protocol.hpp"

#include <cstring>

namespace pw::usb::usbip {

namespace {

uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}
void PutBe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// A fixed-width NUL-padded text field; stops at the first NUL or the field's end.
std::string FixedText(const uint8_t* p, size_t size) {
  size_t n = 0;
  while (n < size && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

ExportedDevice DecodeDevice(const uint8_t* r) {
  ExportedDevice d;
  d.path = FixedText(r, 256);
  d.busId = FixedText(r + 256, kBusIdSize);
  d.busNum = Be32(r + 288);
  d.devNum = Be32(r + 292);
  d.speed = Be32(r + 296);
  d.idVendor = Be16(r + 300);
  d.idProduct = Be16(r + 302);
  d.bcdDevice = Be16(r + 304);
  d.numInterfaces = r[311];
  return d;
}

// Reads and checks an operation reply header; gives its status.
std::optional<int32_t> ReadOpHeader(ByteReader& in, uint16_t code) {
  uint8_t header[kOpHeaderSize];
  if (!in.Read(header)) return std::nullopt;
  const uint16_t version = Be16(header);
  if ((version != kVersion && version != 0x0106) || Be16(header + 2) != code) {
    return std::nullopt;
  }
  return static_cast<int32_t>(Be32(header + 4));
}

}  // namespace

bool MemoryReader::Read(std::span<uint8_t> out) {
  if (out.size() > Left()) return false;
  if (!out.empty()) std::memcpy(out.data(), bytes_.data() + at_, out.size());
  at_ += out.size();
  return true;
}

std::vector<uint8_t> EncodeDevlistRequest() {
  std::vector<uint8_t> bytes(kOpHeaderSize, 0);
  PutBe16(bytes.data(), kVersion);
  PutBe16(bytes.data() + 2, kOpReqDevlist);
  return bytes;
}

std::vector<uint8_t> EncodeImportRequest(const std::string& busId) {
  std::vector<uint8_t> bytes(kOpHeaderSize + kBusIdSize, 0);
  PutBe16(bytes.data(), kVersion);
  PutBe16(bytes.data() + 2, kOpReqImport);
  std::memcpy(bytes.data() + kOpHeaderSize, busId.data(), std::min(busId.size(), kBusIdSize - 1));
  return bytes;
}

std::optional<std::vector<ExportedDevice>> ReadDevlistReply(ByteReader& in) {
  const auto status = ReadOpHeader(in, kOpRepDevlist);
  if (!status || *status != 0) return std::nullopt;
  uint8_t count[4];
  if (!in.Read(count)) return std::nullopt;
  const uint32_t ndev = Be32(count);
  if (ndev > kMaxDevices) return std::nullopt;
  std::vector<ExportedDevice> devices;
  std::vector<uint8_t> record(kDeviceRecordSize);
  for (uint32_t i = 0; i < ndev; ++i) {
    if (!in.Read(record)) return std::nullopt;
    ExportedDevice device = DecodeDevice(record.data());
    // The interface records follow each device; only their count matters here.
    uint8_t interfaceRecord[4];
    for (unsigned k = 0; k < device.numInterfaces; ++k) {
      if (!in.Read(interfaceRecord)) return std::nullopt;
    }
    devices.push_back(std::move(device));
  }
  return devices;
}

std::optional<ExportedDevice> ReadImportReply(ByteReader& in, const std::string& busId,
                                              int32_t* status) {
  *status = -1;
  const auto replyStatus = ReadOpHeader(in, kOpRepImport);
  if (!replyStatus) return std::nullopt;
  *status = *replyStatus;
  if (*replyStatus != 0) return std::nullopt;
  std::vector<uint8_t> record(kDeviceRecordSize);
  if (!in.Read(record)) {
    *status = -1;
    return std::nullopt;
  }
  ExportedDevice device = DecodeDevice(record.data());
  if (device.busId != busId) {
    *status = -1;
    return std::nullopt;
  }
  return device;
}

std::array<uint8_t, kUrbHeaderSize> EncodeSubmit(uint32_t seqnum, uint32_t devid,
                                                 Direction direction, uint8_t endpointNumber,
                                                 uint32_t length,
                                                 const std::array<uint8_t, 8>& setup) {
  std::array<uint8_t, kUrbHeaderSize> h{};
  const bool in = direction == Direction::In;
  PutBe32(h.data(), kCmdSubmit);
  PutBe32(h.data() + 0x04, seqnum);
  PutBe32(h.data() + 0x08, devid);
  PutBe32(h.data() + 0x0C, in ? 1 : 0);
  PutBe32(h.data() + 0x10, endpointNumber & 0x0Fu);
  PutBe32(h.data() + 0x14, in ? kDirIn : 0);
  PutBe32(h.data() + 0x18, length);
  // start_frame 0, number_of_packets 0 (ignored on bulk and control), interval 0.
  std::memcpy(h.data() + 0x28, setup.data(), setup.size());
  return h;
}

std::array<uint8_t, kUrbHeaderSize> EncodeUnlink(uint32_t seqnum, uint32_t devid, uint32_t victim) {
  std::array<uint8_t, kUrbHeaderSize> h{};
  PutBe32(h.data(), kCmdUnlink);
  PutBe32(h.data() + 0x04, seqnum);
  PutBe32(h.data() + 0x08, devid);
  PutBe32(h.data() + 0x14, victim);
  return h;
}

std::optional<UrbReply> DecodeReplyHeader(std::span<const uint8_t, kUrbHeaderSize> h) {
  UrbReply reply;
  reply.command = Be32(h.data());
  if (reply.command != kRetSubmit && reply.command != kRetUnlink) return std::nullopt;
  reply.seqnum = Be32(h.data() + 0x04);
  reply.status = static_cast<int32_t>(Be32(h.data() + 0x14));
  if (reply.command == kRetSubmit) reply.actualLength = Be32(h.data() + 0x18);
  return reply;
}

// A URB's status is a negated Linux error number whatever system the client runs on, so the
// numbers are spelled out rather than taken from the local errno.h.
namespace wire {
constexpr int32_t kNoEntry = 2;            // ENOENT: unlinked
constexpr int32_t kNoDevice = 19;          // ENODEV
constexpr int32_t kBrokenPipe = 32;        // EPIPE: stall
constexpr int32_t kOverflow = 75;          // EOVERFLOW
constexpr int32_t kConnectionReset = 104;  // ECONNRESET: unlinked
constexpr int32_t kShutdown = 108;         // ESHUTDOWN: device gone
}  // namespace wire

Status StatusFromUrb(int32_t status) {
  switch (-status) {
    case 0:
      return Status::Success;
    case wire::kConnectionReset:
    case wire::kNoEntry:
      return Status::Cancelled;
    case wire::kBrokenPipe:
      return Status::Stall;
    case wire::kOverflow:
      return Status::Overflow;
    case wire::kShutdown:
    case wire::kNoDevice:
      return Status::NoDevice;
    default:
      return Status::IoError;
  }
}

std::optional<UrbReply> ReadReply(ByteReader& in,
                                  const std::function<std::optional<Outstanding>(uint32_t)>& lookup,
                                  std::vector<uint8_t>* data) {
  data->clear();
  std::array<uint8_t, kUrbHeaderSize> header;
  if (!in.Read(header)) return std::nullopt;
  auto reply = DecodeReplyHeader(header);
  if (!reply) return std::nullopt;
  if (reply->command == kRetSubmit) {
    const auto outstanding = lookup(reply->seqnum);
    if (!outstanding) return std::nullopt;
    if (outstanding->direction == Direction::In) {
      if (reply->actualLength > outstanding->length || reply->actualLength > kMaxTransfer) {
        return std::nullopt;
      }
      data->resize(reply->actualLength);
      if (!in.Read(*data)) return std::nullopt;
    } else if (reply->actualLength > outstanding->length) {
      reply->actualLength = outstanding->length;  // no data follows an OUT reply
    }
  }
  return reply;
}

}  // namespace pw::usb::usbip
