#include "download_file.h"

#include <PenwickHelpers.h>

#include "sample_region.h"

namespace simtest {

std::vector<uint8_t> StoredStream(uint16_t tag, const std::vector<ChunkSpec>& chunks) {
  std::vector<uint8_t> out(10);
  Put16bit(&out[0], 8);
  Put16bit(&out[4], tag);
  Put16bit(&out[6], 1);
  Put16bit(&out[8], static_cast<uint16_t>(chunks.size()));
  Put16bit(&out[2], GetCrc16(&out[4], 6));
  for (const ChunkSpec& c : chunks) {
    const size_t at = out.size();
    out.resize(at + 8 + c.raw.size());
    Put16bit(&out[at], static_cast<uint16_t>(c.raw.size() + 6));
    Put16bit(&out[at + 4], c.type);
    Put16bit(&out[at + 6], static_cast<uint16_t>(c.raw.size()));
    std::copy(c.raw.begin(), c.raw.end(), out.begin() + static_cast<long>(at + 8));
    Put16bit(&out[at + 2], GetCrc16(&out[at + 4], static_cast<uint32_t>(c.raw.size() + 4)));
  }
  return out;
}

std::vector<uint8_t> StoredDownloadFile(uint16_t systemId, const std::vector<uint8_t>& packed,
                                        const std::vector<uint8_t>& eeprom) {
  std::vector<ChunkSpec> chunks;
  for (size_t at = 0; at < packed.size(); at += 32762) {
    const size_t n = std::min<size_t>(32762, packed.size() - at);
    chunks.push_back({2, std::vector<uint8_t>(packed.begin() + static_cast<long>(at),
                                              packed.begin() + static_cast<long>(at + n))});
  }
  chunks.push_back({3, eeprom});
  return StoredStream(systemId, chunks);
}

std::vector<uint8_t> SamplePacked(uint32_t seed) {
  std::vector<uint8_t> packed = testsupport::RandomBytes(131072, seed);
  std::vector<uint8_t> id = testsupport::MakeIdentity(0x1234);
  std::copy(id.begin(), id.end(), packed.begin());
  return packed;
}

std::vector<uint8_t> SampleEeprom(uint32_t seed) {
  return testsupport::RandomBytes(256, seed);
}

}  // namespace simtest
