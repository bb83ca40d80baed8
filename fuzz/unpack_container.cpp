// Arbitrary bytes as a packed flash image (zero-padded or cut to 131072 bytes), unpacked into
// a region of exactly 393216 bytes: whatever the container holds, nothing is read or written
// outside the two buffers.
//
// Inputs of odd length first get a valid identity check byte and packed CRCs for every
// descriptor that points inside the container, so that mutations of the streams reach the
// decoder instead of stopping at the checks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "PenwickHelpers.h"
#include "codec_hooks.h"
#include "fuzz_target.h"
#include "image_layout.h"
#include "unpack.h"

namespace {

void FixChecks(std::vector<uint8_t>& c) {
  uint8_t sum = 0;
  for (size_t i = 4; i < codec::kIdentitySize; ++i) sum = static_cast<uint8_t>(sum + c[i]);
  c[codec::kIdentityCheckByte] = static_cast<uint8_t>(~sum);
  for (size_t i = 0; i < codec::kDescriptorCount; ++i) {
    uint8_t* d = c.data() + codec::kDescriptorTableOffset + i * codec::kDescriptorSize;
    const uint32_t offset = Get32bit(d + codec::kDescOffset);
    const uint32_t length = Get32bit(d + codec::kDescPackedLength);
    if (offset < c.size() && length <= c.size() - offset)
      Put16bit(d + codec::kDescPackedCrc, GetCrc16(c.data() + offset, length));
  }
}

int Unpack(const uint8_t* data, size_t size) {
  static codec::ImageStores stores;
  codec::SetNotifyHook([](int, intptr_t) {});
  std::vector<uint8_t> container(codec::kContainerSize, 0);
  std::copy_n(data, std::min(size, container.size()), container.begin());
  if (size % 2 == 1) FixChecks(container);
  std::vector<uint8_t> region(codec::kRegionSize);
  const int result = codec::UnpackFlashData(container.data(), region.data(), stores);
  if (result != 0 && result != 1) __builtin_trap();
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Unpack(data, size);
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return Unpack(data, size) == 0;
}
