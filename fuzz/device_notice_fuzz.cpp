// The decoding of a device-change notice of the receiver's bulk driver on Windows over
// arbitrary broadcast bytes (the first input byte picks the event: even for an arrival, odd for
// a completed removal). It must never read outside the bytes given, and what it accepts must be
// a device path in the driver's canonical form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "bulk_driver_formats.hpp"
#include "fuzz_target.h"
#include "penwick/window.hpp"

namespace {
std::optional<pw::usb::bulk::DeviceNotice> Decode(const uint8_t* data, size_t size) {
  if (size == 0) return std::nullopt;
  const uintptr_t event = (data[0] & 1) != 0 ? pw::kDeviceRemoveComplete : pw::kDeviceArrival;
  // An exact-size copy so that AddressSanitizer sees any read past the bytes given.
  const std::vector<uint8_t> bytes(data + 1, data + size);
  return pw::usb::bulk::DecodeDeviceNotice(event, bytes);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto notice = Decode(data, size);
  if (notice) {
    if (notice->path.size() + pw::usb::bulk::kNoticeNameOffset >= size) std::abort();
    if (!pw::usb::bulk::IsDriverPath(notice->path)) std::abort();
    for (char c : notice->path) {
      if (c == '\0' || (c >= 'A' && c <= 'Z')) std::abort();
    }
  }
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return !Decode(data, size);
}
