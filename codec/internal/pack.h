// Packing: one packed stream from any input (PackHvp) and the packed flash image from the
// settings region (PackFlashData).
#pragma once

#include <cstddef>
#include <cstdint>

#include "image_layout.h"

namespace codec {

// Packs `length` bytes into a packed stream with the block tag (0xFFFF) in `output`, which has
// room for `capacity` bytes; nothing is written beyond it. Returns 1 with the stream length in
// *outLength; a zero length writes nothing and leaves *outLength as it was. Returns 0 when the
// work areas cannot be allocated (after the "Insufficient memory" notice) or when the stream
// does not fit in `capacity` (what was written of it is then undefined).
uint16_t PackHvp(const uint8_t* input, size_t length, uint8_t* output, size_t capacity,
                 uint32_t* outLength);

struct PackWork;
// PackHvp with work areas the caller has allocated; false when the stream does not fit.
bool PackStream(PackWork& work, const uint8_t* input, size_t length, uint8_t* output,
                size_t capacity, uint32_t* outLength);

// The longest packed stream that unpacking accepts for a block.
inline constexpr size_t kMaxBlockStream = 8192;

// Builds the 131072-byte packed image of the 393216-byte region with `identity` (32 bytes) as
// its identity block. Returns 1. Returns 0 and leaves `container` as it was when the region
// cannot be packed into an image that unpacks again: a block whose stream would be longer
// than 8192 bytes (an incompressible block is stored, 8210 bytes), streams that do not fit
// into the container, or no memory for the work areas.
int32_t PackFlashData(const uint8_t* identity, const uint8_t* region, uint8_t* container);

}  // namespace codec
