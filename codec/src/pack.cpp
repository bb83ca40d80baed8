// PackHvp and PackFlashData: packed streams and the packed flash image.
#include "pack.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "PenwickHelpers.h"
#include "codec_hooks.h"
#include "image_layout.h"
#include "packed_stream.h"

namespace codec {
namespace {

size_t RoundUp(size_t value, size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

void PutDescriptor(uint8_t* d, uint16_t packedCrc, uint16_t rawCrc, uint32_t offset,
                   uint32_t packedLength) {
  Put16bit(d + kDescPackedCrc, packedCrc);
  Put16bit(d + kDescRawCrc, rawCrc);
  Put32bit(d + kDescOffset, offset);
  Put32bit(d + kDescPackedLength, packedLength);
  Put32bit(d + kDescRawLength, kBlockSize);
}

}  // namespace

bool PackStream(PackWork& work, const uint8_t* input, size_t length, uint8_t* output,
                size_t capacity, uint32_t* outLength) {
  size_t written = kStreamHeaderSize;
  unsigned chunks = 0;
  for (size_t done = 0; done < length;) {
    const size_t piece = std::min(length - done, kChunkMaxRaw);
    const std::span<const uint8_t> chunk = BuildChunk(work, input + done, piece, kBlockChunkType);
    if (written + chunk.size() > capacity || chunks == 0xFFFF) return false;
    std::memcpy(output + written, chunk.data(), chunk.size());
    written += chunk.size();
    done += piece;
    ++chunks;
  }
  if (chunks > 0) {
    WriteStreamHeader(output, kBlockStreamTag, static_cast<uint16_t>(chunks));
    *outLength = static_cast<uint32_t>(written);
  }
  return true;
}

uint16_t PackHvp(const uint8_t* input, size_t length, uint8_t* output, size_t capacity,
                 uint32_t* outLength) {
  std::unique_ptr<PackWork> work = NewPackWork();
  if (!work) {
    ShowNotice("DLL : PackHvp() : Insufficient memory");
    return 0;
  }
  return PackStream(*work, input, length, output, capacity, outLength) ? 1 : 0;
}

int32_t PackFlashData(const uint8_t* identity, const uint8_t* region, uint8_t* container) {
  // Built aside and copied only when complete, so a failure leaves the caller's image intact.
  std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[kContainerSize]());
  // One set of work areas serves all 48 blocks of this call.
  std::unique_ptr<PackWork> work = NewPackWork();
  if (!image || !work) {
    ShowNotice("DLL : PackHvp() : Insufficient memory");
    return 0;
  }
  std::memcpy(image.get(), identity, kIdentitySize);
  size_t end = kDataAreaOffset;
  for (size_t i = 0; i < kRegionBlocks; ++i) {
    const uint8_t* block = region + i * kBlockSize;
    const size_t offset = RoundUp(end, kStreamAlignment);
    if (offset >= kContainerSize) return 0;
    // A stream longer than 8192 bytes would not unpack, nor would one past the container.
    const size_t room = std::min(kMaxBlockStream, kContainerSize - offset);
    uint32_t streamLength = 0;
    if (!PackStream(*work, block, kBlockSize, image.get() + offset, room, &streamLength)) return 0;
    uint8_t* descriptor = image.get() + kDescriptorTableOffset + i * kDescriptorSize;
    PutDescriptor(descriptor, GetCrc16(image.get() + offset, streamLength),
                  GetCrc16(block, kBlockSize), static_cast<uint32_t>(offset), streamLength);
    end = offset + streamLength;
  }
  std::memcpy(container, image.get(), kContainerSize);
  return 1;
}

}  // namespace codec
