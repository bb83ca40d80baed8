// Reads requests from a client and hands them to the emulated device.
#include "connection.h"

#include <array>
#include <vector>

#include "usbip_wire.h"

namespace sim::usbip {
namespace {

class StreamSink final : public UrbSink {
 public:
  explicit StreamSink(Stream& stream) : stream_(stream) {}

  void SendRetSubmit(uint32_t seqnum, int32_t status, std::span<const uint8_t> inData,
                     uint32_t actual) override {
    const auto header = EncodeRetSubmit(seqnum, status, actual);
    stream_.Write(header, inData);
  }
  void SendRetUnlink(uint32_t seqnum, int32_t status) override {
    stream_.Write(EncodeRetUnlink(seqnum, status), {});
  }
  void Drop() override { stream_.Shutdown(); }
  bool PeerClosed() override { return stream_.PeerClosed(); }

 private:
  Stream& stream_;
};

void RunUrbChannel(Stream& stream, EmulatedDevice& device, StreamSink& sink) {
  std::vector<uint8_t> data;
  while (true) {
    std::array<uint8_t, kUrbHeaderSize> raw;
    if (!stream.ReadExact(raw)) return;
    const UrbHeader h = DecodeUrbHeader(raw);
    if (h.devid != device.devid()) return;
    if (h.command == kCmdUnlink) {
      device.Unlink(&sink, h.seqnum, h.unlinkSeqnum);
      continue;
    }
    if (h.command != kCmdSubmit || h.direction > kDirIn || h.ep > 15) return;
    if (h.transferBufferLength < 0 || h.transferBufferLength > kMaxTransferLength) return;
    data.clear();
    if (h.direction == kDirOut) {
      data.resize(static_cast<size_t>(h.transferBufferLength));
      if (!stream.ReadExact(data)) return;
    }
    device.Submit(&sink, h, data);
  }
}

void ServeImport(Stream& stream, EmulatedDevice& device) {
  std::array<uint8_t, kBusIdSize> busid;
  if (!stream.ReadExact(busid)) return;
  StreamSink sink(stream);
  const auto record = device.Import(DecodeBusId(busid), &sink);
  const auto reply = EncodeImportReply(record ? &*record : nullptr);
  const bool sent = stream.Write(reply, {});
  if (record && sent) RunUrbChannel(stream, device, sink);
  if (record) device.Release(&sink);
}

}  // namespace

void ServeConnection(Stream& stream, EmulatedDevice& device) {
  std::array<uint8_t, kOpHeaderSize> raw;
  if (!stream.ReadExact(raw)) return;
  const OpHeader op = DecodeOpHeader(raw);
  if (op.version != kVersion && op.version != 0x0106) return;
  if (op.code == kOpReqDevlist) {
    const std::vector<DeviceRecord> devices = device.List();
    stream.Write(EncodeDevlistReply(devices), {});
  } else if (op.code == kOpReqImport) {
    ServeImport(stream, device);
  }
}

}  // namespace sim::usbip
