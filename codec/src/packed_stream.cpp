// Chunks and stream headers of packed streams, and the packing work areas.
#include "packed_stream.h"

#include <atomic>
#include <cstring>
#include <new>

#include "PenwickHelpers.h"

namespace codec {

namespace {
std::atomic<bool> g_failAllocation{false};
}  // namespace

std::unique_ptr<PackWork> NewPackWork() {
  if (g_failAllocation.load()) return nullptr;
  return std::unique_ptr<PackWork>(new (std::nothrow) PackWork());
}

void FailPackWorkAllocationForTest(bool fail) {
  g_failAllocation.store(fail);
}

std::span<const uint8_t> BuildChunk(PackWork& work, const uint8_t* raw, size_t length,
                                    uint16_t type) {
  uint8_t* chunk = work.chunk.data();
  uint8_t* data = chunk + kChunkHeaderSize;
  size_t coded = work.encoder.CompressChunk(raw, length, data, length);
  if (coded == 0 || coded >= length) {
    std::memcpy(data, raw, length);  // stored
    coded = length;
  }
  Put16bit(chunk, static_cast<uint16_t>(coded + 6));
  Put16bit(chunk + 4, type);
  Put16bit(chunk + 6, static_cast<uint16_t>(length));
  Put16bit(chunk + 2, GetCrc16(chunk + 4, static_cast<uint32_t>(coded + 4)));
  return {chunk, kChunkHeaderSize + coded};
}

void WriteStreamHeader(uint8_t* out, uint16_t tag, uint16_t chunkCount) {
  Put16bit(out, 8);
  Put16bit(out + 4, tag);
  Put16bit(out + 6, 1);
  Put16bit(out + 8, chunkCount);
  Put16bit(out + 2, GetCrc16(out + 4, 6));
}

}  // namespace codec
