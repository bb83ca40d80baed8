// Fuzzes what the USB driver reads from outside: USB/IP servers' device-list and import
// replies, the URB reply stream of an imported device, and the configuration set a device
// sends (pipe numbering, and the shape the device list reads from it). The first byte picks the
// parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "driver_core.hpp"
#include "fuzz_target.h"
#include "usbip_protocol.hpp"

namespace usbip = pw::usb::usbip;

namespace {

// Reads the input with the parser its first byte picks; true when the parser accepted all of
// it (a reply stream: every reply up to the last byte).
bool Parse(const uint8_t* data, size_t size) {
  if (size < 1) return false;
  const uint8_t mode = data[0] % 4;
  std::span<const uint8_t> rest(data + 1, size - 1);
  usbip::MemoryReader in(rest);
  switch (mode) {
    case 0: {
      auto devices = usbip::ReadDevlistReply(in);
      if (devices && devices->size() > usbip::kMaxDevices) std::abort();
      return devices.has_value();
    }
    case 1: {
      int32_t status = 0;
      auto device = usbip::ReadImportReply(in, "1-1", &status);
      if (device && (status != 0 || device->busId != "1-1")) std::abort();
      return device.has_value();
    }
    case 2: {
      // Seqnums 1 to 8 are outstanding: odd ones IN with a length of 8 * seq, even ones OUT.
      auto lookup = [](uint32_t seq) -> std::optional<usbip::Outstanding> {
        if (seq < 1 || seq > 8) return std::nullopt;
        return usbip::Outstanding{seq % 2 ? pw::usb::Direction::In : pw::usb::Direction::Out,
                                  8 * seq};
      };
      std::vector<uint8_t> bytes;
      size_t accepted = 0;  // bytes of the replies read so far
      while (auto reply = usbip::ReadReply(in, lookup, &bytes)) {
        accepted = rest.size() - in.Left();
        if (reply->command == usbip::kRetSubmit) {
          const auto outstanding = lookup(reply->seqnum);
          if (!outstanding || reply->actualLength > outstanding->length) std::abort();
          if (outstanding->direction == pw::usb::Direction::In &&
              bytes.size() != reply->actualLength) {
            std::abort();
          }
        }
      }
      return accepted == rest.size();
    }
    default: {
      auto layout = pw::usb::WalkConfiguration(rest);
      if (layout && layout->numEndpoints > pw::usb::kMaxPipes) std::abort();
      // The device list's shape check reads the same set and accepts exactly what the walk does.
      const auto shape = pw::usb::ShapeOfConfiguration(rest);
      if (shape.has_value() != layout.has_value()) std::abort();
      if (shape) pw::usb::ReceiverShapeMismatch(*shape);
      return layout.has_value();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Parse(data, size);
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return !Parse(data, size);
}
