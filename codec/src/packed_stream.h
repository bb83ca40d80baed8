// Building packed streams: a 10-byte stream header followed by chunks of at most 32762 raw
// bytes, each coded with the -lh5- compressor or stored when coding does not make it shorter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "image_layout.h"
#include "lh5_encoder.h"

namespace codec {

// The work areas of one packing call: the compressor and the staging area of one chunk.
struct PackWork {
  Lh5Encoder encoder;
  std::array<uint8_t, kChunkHeaderSize + kChunkMaxRaw> chunk;
};

// Zeroed work areas, or null when they cannot be allocated.
std::unique_ptr<PackWork> NewPackWork();

// Tests only: while set, NewPackWork fails as if memory were exhausted.
void FailPackWorkAllocationForTest(bool fail);

// Builds the chunk for `length` raw bytes (1 to 32762) of the given type in work.chunk and
// returns it (header and data, 8 + d bytes).
std::span<const uint8_t> BuildChunk(PackWork& work, const uint8_t* raw, size_t length,
                                    uint16_t type);

// Writes the stream header (8, its CRC, tag, 1, chunk count) at out[0..9].
void WriteStreamHeader(uint8_t* out, uint16_t tag, uint16_t chunkCount);

}  // namespace codec
