// Download files built by hand for the tests: the stream header and the six chunks, all stored
// (data = raw bytes), so no encoder is needed.
#pragma once

#include <cstdint>
#include <vector>

namespace simtest {

struct ChunkSpec {
  uint16_t type;
  std::vector<uint8_t> raw;
};

// One packed stream with the given tag and chunks, every chunk stored.
std::vector<uint8_t> StoredStream(uint16_t tag, const std::vector<ChunkSpec>& chunks);

// The download file for these images: five type-2 chunks (32762 x 4, 24) and one type-3.
std::vector<uint8_t> StoredDownloadFile(uint16_t systemId, const std::vector<uint8_t>& packed,
                                        const std::vector<uint8_t>& eeprom);

// A packed image and EEPROM image with recognisable contents.
std::vector<uint8_t> SamplePacked(uint32_t seed);
std::vector<uint8_t> SampleEeprom(uint32_t seed);

}  // namespace simtest
