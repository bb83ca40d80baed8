// Unpacking: packed streams, the identity check and the descriptor walk.
#include "unpack.h"

#include <cstring>

#include "PenwickHelpers.h"
#include "codec_hooks.h"
#include "image_layout.h"

namespace codec {
namespace {

constexpr size_t kMaxChunkField = 32768;  // chunk bytes after its length field
constexpr size_t kMinChunkField = 7;
constexpr uint32_t kMaxPackedLength = 8192;
constexpr uint32_t kMaxRawLength = 65536;
// A block may only start below the last kilobyte of the region.
constexpr size_t kLastOutputStart = 392192;

// The descriptor fields the walk uses, in host order once rewritten.
struct Descriptor {
  uint16_t packedCrc;
  uint32_t offset;
  uint32_t packedLength;
  uint32_t rawLength;
};

template <typename T>
T LoadHost(const uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

template <typename T>
void StoreHost(uint8_t* p, T value) {
  std::memcpy(p, &value, sizeof value);
}

// Rewrites the 16-bit fields at 0 and 2 and the 32-bit fields at 4, 8, 12 and 16 from
// big-endian to host order.
void RewriteToHostOrder(uint8_t* descriptor) {
  for (size_t at : {kDescPackedCrc, kDescRawCrc})
    StoreHost(descriptor + at, Get16bit(descriptor + at));
  for (size_t at : {kDescOffset, kDescPackedLength, kDescRawLength, kDescReserved})
    StoreHost(descriptor + at, Get32bit(descriptor + at));
}

Descriptor ReadHostDescriptor(const uint8_t* descriptor) {
  return {LoadHost<uint16_t>(descriptor + kDescPackedCrc),
          LoadHost<uint32_t>(descriptor + kDescOffset),
          LoadHost<uint32_t>(descriptor + kDescPackedLength),
          LoadHost<uint32_t>(descriptor + kDescRawLength)};
}

// A rejected descriptor: all zero but for a raw length of one block.
void ClearDescriptor(uint8_t* descriptor) {
  std::memset(descriptor, 0, kDescriptorSize);
  StoreHost(descriptor + kDescRawLength, static_cast<uint32_t>(kBlockSize));
}

int Damaged(uint8_t* descriptor) {
  if (descriptor != nullptr) ClearDescriptor(descriptor);
  Notify(kNotifyBadPackedData, 0);
  return 0;
}

}  // namespace

StreamExpansion ExpandPackedStream(Lh5Decoder& decoder, const uint8_t* stream, size_t streamLength,
                                   uint8_t* destination, size_t capacity) {
  StreamExpansion result;
  if (streamLength < kStreamHeaderSize || Get16bit(stream) != kStreamHeaderSize - 2 ||
      Get16bit(stream + 4) != kBlockStreamTag || Get16bit(stream + 6) != 1)
    return result;
  const unsigned chunks = Get16bit(stream + 8);
  size_t at = kStreamHeaderSize;
  for (unsigned c = 0; c < chunks; ++c) {
    if (streamLength - at < kChunkHeaderSize) return result;
    const uint8_t* chunk = stream + at;
    const size_t field = Get16bit(chunk);
    if (field < kMinChunkField || field > kMaxChunkField || field + 2 > streamLength - at ||
        Get16bit(chunk + 4) != kBlockChunkType)
      return result;
    const size_t rawLength = Get16bit(chunk + 6);
    if (rawLength > capacity - result.rawBytes) return result;
    if (!decoder.ExpandChunk(destination + result.rawBytes, rawLength, chunk + kChunkHeaderSize,
                             field - 6))
      return result;
    result.rawBytes += rawLength;
    at += field + 2;
  }
  result.accepted = true;
  return result;
}

uint32_t UnpackHvp(const uint8_t* stream, size_t streamLength, uint8_t* destination,
                   size_t capacity) {
  Lh5Decoder decoder;
  const StreamExpansion result =
      ExpandPackedStream(decoder, stream, streamLength, destination, capacity);
  return result.accepted ? static_cast<uint32_t>(result.rawBytes) : 0;
}

int UnpackFlash_ParsingFlashHeader(const uint8_t* container, ImageStores& stores) {
  stores.PutIdentity(container);
  uint8_t sum = 0;
  for (size_t i = kIdentityCheckByte + 1; i < kIdentitySize; ++i)
    sum = static_cast<uint8_t>(sum + container[i]);
  if (static_cast<uint8_t>(~sum) == container[kIdentityCheckByte]) return 1;
  Notify(kNotifyBadModelId, 0);
  return 0;
}

int UnpackFlashData(uint8_t* container, uint8_t* region, ImageStores& stores) {
  size_t count = Get16bit(container + kBlockCountOffset);
  if (count == 0 || count > kDescriptorCount) count = kDescriptorCount;
  if (!UnpackFlash_ParsingFlashHeader(container, stores)) return 0;

  uint8_t* const table = container + kDescriptorTableOffset;
  for (size_t i = 0; i < count; ++i) RewriteToHostOrder(table + i * kDescriptorSize);

  Lh5Decoder decoder;
  size_t previousEnd = 0;
  size_t output = 0;
  for (size_t i = 0; i < count; ++i) {
    uint8_t* const descriptor = table + i * kDescriptorSize;
    const Descriptor d = ReadHostDescriptor(descriptor);
    if (d.offset >= kContainerSize || d.packedLength == 0 || d.packedLength > kMaxPackedLength ||
        d.rawLength > kMaxRawLength) {
      // Past the region's blocks this is the empty tail of the table; inside them it would
      // leave a hole and shift every later block.
      if (i < kRegionBlocks) return Damaged(descriptor);
      ClearDescriptor(descriptor);
      continue;
    }
    if (i * kBlockSize >= kLastOutputStart) break;
    if (d.packedLength > kContainerSize - d.offset || d.offset < previousEnd ||
        output >= kLastOutputStart || GetCrc16(container + d.offset, d.packedLength) != d.packedCrc)
      return Damaged(descriptor);
    const StreamExpansion expanded = ExpandPackedStream(
        decoder, container + d.offset, d.packedLength, region + output, kRegionSize - output);
    // A refused stream, or one that fills less or more than its descriptor says, would leave
    // missing or shifted bytes in the region.
    if (!expanded.accepted || expanded.rawBytes != d.rawLength) return Damaged(descriptor);
    previousEnd = d.offset + d.packedLength;
    output += d.rawLength;
  }
  // Blocks that never came (a block count below the region's) would leave stale bytes.
  if (output != kRegionSize) return Damaged(nullptr);
  return 1;
}

}  // namespace codec
