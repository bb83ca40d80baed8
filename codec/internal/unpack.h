// Unpacking a packed flash image: the identity check, packed streams and the descriptor walk
// that expands each block's stream into the 384 KB flash region.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image_stores.h"
#include "lh5_decoder.h"

namespace codec {

struct StreamExpansion {
  bool accepted = false;  // false: a header was refused or a chunk could not be decoded
  size_t rawBytes = 0;    // bytes written to the destination
};

// Expands a packed stream of `streamLength` bytes into at most `capacity` bytes. Refuses a
// stream header other than (8, any CRC, 0xFFFF, 1), a chunk length outside 7 to 32768, a
// chunk type other than 0xFFFF, a chunk reaching past the stream, a chunk whose raw length
// does not fit in what is left of the capacity, and coded data whose code tables cannot be
// built. Chunks before the refused one stay written. CRCs are not checked.
StreamExpansion ExpandPackedStream(Lh5Decoder& decoder, const uint8_t* stream, size_t streamLength,
                                   uint8_t* destination, size_t capacity);

// The same with a decoder of its own: the number of raw bytes written, 0 when refused.
uint32_t UnpackHvp(const uint8_t* stream, size_t streamLength, uint8_t* destination,
                   size_t capacity);

// Copies the container's identity block into the identity store, then checks its check byte
// (byte 3 = NOT of the 8-bit sum of bytes 4 to 31). Returns 1, or 0 after notification 19.
int UnpackFlash_ParsingFlashHeader(const uint8_t* container, ImageStores& stores);

// Expands a 131072-byte container into the 393216-byte region. The container's descriptors
// are rewritten to host byte order and rejected ones cleared. Returns 1; or 0 after
// notification 19 (identity) or 16 (a damaged block; the blocks before it are expanded).
int UnpackFlashData(uint8_t* container, uint8_t* region, ImageStores& stores);

}  // namespace codec
