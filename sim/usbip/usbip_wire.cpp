// Packing and unpacking of USB/IP operation and URB headers.
#include "usbip_wire.h"

#include <PenwickHelpers.h>

#include <algorithm>

namespace sim::usbip {
namespace {

void Append16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void Append32(std::vector<uint8_t>& out, uint32_t value) {
  Append16(out, static_cast<uint16_t>(value >> 16));
  Append16(out, static_cast<uint16_t>(value));
}

// A fixed-width, NUL-padded text field; a longer text is cut so that one NUL always remains.
void AppendText(std::vector<uint8_t>& out, const std::string& text, size_t width) {
  const size_t n = std::min(text.size(), width - 1);
  out.insert(out.end(), text.begin(), text.begin() + static_cast<ptrdiff_t>(n));
  out.insert(out.end(), width - n, 0);
}

void AppendDeviceAndInterfaces(std::vector<uint8_t>& out, const DeviceRecord& device) {
  AppendDeviceRecord(out, device);
  for (const auto& interface : device.interfaces) {
    out.insert(out.end(), interface.begin(), interface.end());
    out.push_back(0);
  }
}

}  // namespace

OpHeader DecodeOpHeader(std::span<const uint8_t, kOpHeaderSize> bytes) {
  return OpHeader{Get16bit(&bytes[0]), Get16bit(&bytes[2]), Get32bit(&bytes[4])};
}

std::array<uint8_t, kOpHeaderSize> EncodeOpHeader(uint16_t code, uint32_t status) {
  std::array<uint8_t, kOpHeaderSize> out{};
  Put16bit(&out[0], kVersion);
  Put16bit(&out[2], code);
  Put32bit(&out[4], status);
  return out;
}

void AppendDeviceRecord(std::vector<uint8_t>& out, const DeviceRecord& device) {
  AppendText(out, device.path, 256);
  AppendText(out, device.busid, kBusIdSize);
  Append32(out, device.busnum);
  Append32(out, device.devnum);
  Append32(out, device.speed);
  Append16(out, device.idVendor);
  Append16(out, device.idProduct);
  Append16(out, device.bcdDevice);
  out.push_back(device.deviceClass);
  out.push_back(device.deviceSubclass);
  out.push_back(device.deviceProtocol);
  out.push_back(device.configurationValue);
  out.push_back(device.numConfigurations);
  out.push_back(static_cast<uint8_t>(device.interfaces.size()));
}

std::vector<uint8_t> EncodeDevlistReply(std::span<const DeviceRecord> devices) {
  const auto header = EncodeOpHeader(kOpRepDevlist, kOpStatusOk);
  std::vector<uint8_t> out(header.begin(), header.end());
  Append32(out, static_cast<uint32_t>(devices.size()));
  for (const auto& device : devices) AppendDeviceAndInterfaces(out, device);
  return out;
}

std::vector<uint8_t> EncodeImportReply(const DeviceRecord* device) {
  const auto header =
      EncodeOpHeader(kOpRepImport, device != nullptr ? kOpStatusOk : kOpStatusNotAvailable);
  std::vector<uint8_t> out(header.begin(), header.end());
  if (device != nullptr) AppendDeviceRecord(out, *device);
  return out;
}

std::string DecodeBusId(std::span<const uint8_t, kBusIdSize> bytes) {
  const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
  return std::string(bytes.begin(), end);
}

UrbHeader DecodeUrbHeader(std::span<const uint8_t, kUrbHeaderSize> bytes) {
  UrbHeader h;
  h.command = Get32bit(&bytes[0x00]);
  h.seqnum = Get32bit(&bytes[0x04]);
  h.devid = Get32bit(&bytes[0x08]);
  h.direction = Get32bit(&bytes[0x0C]);
  h.ep = Get32bit(&bytes[0x10]);
  h.transferFlags = Get32bit(&bytes[0x14]);
  h.unlinkSeqnum = h.transferFlags;  // CMD_UNLINK keeps the victim's seqnum at 0x14
  h.transferBufferLength = static_cast<int32_t>(Get32bit(&bytes[0x18]));
  h.numberOfPackets = static_cast<int32_t>(Get32bit(&bytes[0x20]));
  std::copy_n(&bytes[0x28], 8, h.setup.begin());
  return h;
}

std::array<uint8_t, kUrbHeaderSize> EncodeRetSubmit(uint32_t seqnum, int32_t status,
                                                    uint32_t actualLength) {
  std::array<uint8_t, kUrbHeaderSize> out{};
  Put32bit(&out[0x00], kRetSubmit);
  Put32bit(&out[0x04], seqnum);
  Put32bit(&out[0x14], static_cast<uint32_t>(status));
  Put32bit(&out[0x18], actualLength);
  return out;
}

std::array<uint8_t, kUrbHeaderSize> EncodeRetUnlink(uint32_t seqnum, int32_t status) {
  std::array<uint8_t, kUrbHeaderSize> out{};
  Put32bit(&out[0x00], kRetUnlink);
  Put32bit(&out[0x04], seqnum);
  Put32bit(&out[0x14], static_cast<uint32_t>(status));
  return out;
}

}  // namespace sim::usbip
