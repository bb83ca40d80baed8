// Arbitrary bytes as a packed flash image (zero-padded or cut to 131072 bytes), unpacked into
// a region of exactly 393216 bytes: whatever the container holds, nothing is read or written
// outside the two buffers.
//
// Inputs of odd length first get a valid identity check byte and packed CRCs for every
// descriptor whose CRC the unpack looks at (those of the region's 48 blocks up to the first
// whose stream is empty, longer than 8192 bytes or outside the container), so that mutations of
// the streams reach the decoder instead of stopping at the checks.
//
// The two buffers are allocated once and kept (the container refilled for every input, and
// only as far as earlier inputs wrote into it), so no input pays for half a megabyte of fresh
// pages; the allocator's bounds stay around them.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "PenwickHelpers.h"
#include "codec_hooks.h"
#include "fuzz_target.h"
#include "image_layout.h"
#include "kept_buffer.h"
#include "pack.h"
#include "unpack.h"

namespace {

// The unpack checks no CRC past the region's 48 blocks, nor past the first of them whose
// stream is empty, too long or outside the container.
void FixChecks(uint8_t* c) {
  uint8_t sum = 0;
  for (size_t i = 4; i < codec::kIdentitySize; ++i) sum = static_cast<uint8_t>(sum + c[i]);
  c[codec::kIdentityCheckByte] = static_cast<uint8_t>(~sum);
  size_t count = Get16bit(c + codec::kBlockCountOffset);
  if (count == 0 || count > codec::kDescriptorCount) count = codec::kDescriptorCount;
  for (size_t i = 0; i < std::min(count, codec::kRegionBlocks); ++i) {
    uint8_t* d = c + codec::kDescriptorTableOffset + i * codec::kDescriptorSize;
    const uint32_t offset = Get32bit(d + codec::kDescOffset);
    const uint32_t length = Get32bit(d + codec::kDescPackedLength);
    if (offset >= codec::kContainerSize || length > codec::kMaxBlockStream ||
        length > codec::kContainerSize - offset)
      break;
    Put16bit(d + codec::kDescPackedCrc, GetCrc16(c + offset, length));
    if (length == 0) break;
  }
}

int Unpack(const uint8_t* data, size_t size) {
  static codec::ImageStores stores;
  static fuzz::KeptBuffer kept(codec::kContainerSize);
  static auto* region = new uint8_t[codec::kRegionSize];
  codec::SetNotifyHook([](int, intptr_t) {});
  // The unpack rewrites the descriptor table in place.
  kept.Fill(0, data, size, codec::kDataAreaOffset);
  uint8_t* container = kept.data();
  if (size % 2 == 1) FixChecks(container);
  const int result = codec::UnpackFlashData(container, region, stores);
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
