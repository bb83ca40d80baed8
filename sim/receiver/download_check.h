// Checks a download file as the receiver gets it: one packed stream tagged with the
// receiver's system id, holding the packed flash image as five type-2 chunks (raw lengths
// 32762 x 4 and 24) and the EEPROM image as one type-3 chunk of 256, every header and chunk
// guarded by its CRC-16, and the expanded images equal to the expected ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "images.h"

namespace sim {

// Expands a coded chunk's `size` data bytes into exactly `rawSize` bytes at `out`; false when
// the data is damaged.
using ChunkExpander =
    std::function<bool(const uint8_t* data, size_t size, uint8_t* out, size_t rawSize)>;

struct DownloadCheck {
  bool ok = false;
  std::string reason;  // why it failed
  size_t storedChunks = 0;
  size_t codedChunks = 0;      // expanded and compared
  size_t uncheckedChunks = 0;  // coded, but no expander was given
};

// `expand` may be empty: coded chunks are then checked for structure and CRC only and
// counted as unchecked (their images cannot be compared).
DownloadCheck CheckDownloadFile(const std::vector<uint8_t>& file, uint16_t systemId,
                                const Images& expected, const ChunkExpander& expand);

}  // namespace sim
