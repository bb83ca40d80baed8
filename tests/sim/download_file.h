// Download files built by hand for the tests: the stream header and the six chunks, all stored
// (data = raw bytes), so no encoder is needed.
#pragma once

#include <cstdint>
#include <vector>

namespace simtest {

struct ChunkSpec {
  uint16_t type;
  std::vector<uint8_t> raw;
  std::vector<uint8_t> coded;  // when not empty, the chunk's data instead of the raw bytes
};

// One packed stream with the given tag and chunks.
std::vector<uint8_t> StoredStream(uint16_t tag, const std::vector<ChunkSpec>& chunks);

// The download file with every chunk that codes shorter coded (by the codec tests' own
// writer of -lh5- data, not by the library's encoder).
std::vector<uint8_t> CodedDownloadFile(uint16_t systemId, const std::vector<uint8_t>& packed,
                                       const std::vector<uint8_t>& eeprom);

// A packed image as the PC keeps it: a sample settings region packed into a container.
std::vector<uint8_t> RealisticPacked(uint32_t seed, uint16_t systemId);

// The download file for these images: five type-2 chunks (32762 x 4, 24) and one type-3.
std::vector<uint8_t> StoredDownloadFile(uint16_t systemId, const std::vector<uint8_t>& packed,
                                        const std::vector<uint8_t>& eeprom);

// A packed image and EEPROM image with recognisable contents.
std::vector<uint8_t> SamplePacked(uint32_t seed);
std::vector<uint8_t> SampleEeprom(uint32_t seed);

}  // namespace simtest
