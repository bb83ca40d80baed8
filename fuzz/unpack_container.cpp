// Arbitrary bytes as a packed flash image (zero-padded or cut to 131072 bytes), unpacked into
// a region of exactly 393216 bytes: whatever the container holds, nothing is read or written
// outside the two buffers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec_hooks.h"
#include "image_layout.h"
#include "unpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static codec::ImageStores stores;
  codec::SetNotifyHook([](int, intptr_t) {});
  std::vector<uint8_t> container(codec::kContainerSize, 0);
  std::copy_n(data, std::min(size, container.size()), container.begin());
  std::vector<uint8_t> region(codec::kRegionSize);
  const int result = codec::UnpackFlashData(container.data(), region.data(), stores);
  if (result != 0 && result != 1) __builtin_trap();
  return 0;
}
