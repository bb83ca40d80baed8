// Realistic sample images for the pack tool, the tests and the benchmarks: a settings flash
// region as a receiver keeps it (erased 0xFF flash with satellite, transponder and channel
// records, name strings and a few tables) and identity blocks whose check byte is right.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace samples {

// 393216 bytes; the same seed gives the same region.
std::vector<uint8_t> MakeSampleRegion(uint32_t seed);

// A 32-byte identity block carrying the system id, with a valid check byte.
std::vector<uint8_t> MakeIdentity(uint16_t systemId, uint8_t fill = 0x5A);

// Deterministic pseudo-random bytes (for incompressible data).
std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed);

// The sample region with its channel list cut short after six blocks (about 1020 channels),
// so that its packed image fits in the 131072-byte container: the full sample region's 48
// streams take about 150 KB once laid out on 2048-byte boundaries.
std::vector<uint8_t> MakePackableSampleRegion(uint32_t seed);

}  // namespace samples
