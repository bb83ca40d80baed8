// Hand-built download files for the emulated receiver's tests.
#include "download_file.h"

#include <PenwickHelpers.h>

#include <algorithm>

#include "lh5_test_writer.h"
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
    const std::vector<uint8_t>& data = c.coded.empty() ? c.raw : c.coded;
    const size_t at = out.size();
    out.resize(at + 8 + data.size());
    Put16bit(&out[at], static_cast<uint16_t>(data.size() + 6));
    Put16bit(&out[at + 4], c.type);
    Put16bit(&out[at + 6], static_cast<uint16_t>(c.raw.size()));
    std::copy(data.begin(), data.end(), out.begin() + static_cast<long>(at + 8));
    Put16bit(&out[at + 2], GetCrc16(&out[at + 4], static_cast<uint32_t>(data.size() + 4)));
  }
  return out;
}

namespace {

std::vector<ChunkSpec> Sections(const std::vector<uint8_t>& packed,
                                const std::vector<uint8_t>& eeprom) {
  std::vector<ChunkSpec> chunks;
  for (size_t at = 0; at < packed.size(); at += 32762) {
    const size_t n = std::min<size_t>(32762, packed.size() - at);
    chunks.push_back({2,
                      std::vector<uint8_t>(packed.begin() + static_cast<long>(at),
                                           packed.begin() + static_cast<long>(at + n)),
                      {}});
  }
  chunks.push_back({3, eeprom, {}});
  return chunks;
}

}  // namespace

std::vector<uint8_t> CodedDownloadFile(uint16_t systemId, const std::vector<uint8_t>& packed,
                                       const std::vector<uint8_t>& eeprom) {
  std::vector<ChunkSpec> chunks = Sections(packed, eeprom);
  for (ChunkSpec& c : chunks) {
    std::vector<uint8_t> coded = lh5test::TestEncode(c.raw.data(), c.raw.size());
    if (coded.size() < c.raw.size()) c.coded = std::move(coded);
  }
  return StoredStream(systemId, chunks);
}

std::vector<uint8_t> RealisticPacked(uint32_t seed, uint16_t systemId) {
  // The sample region with its channel blocks 12 to 25 erased, so the test writer's streams
  // fit the container once each starts on a 2048-byte boundary.
  std::vector<uint8_t> region = samples::MakeSampleRegion(seed);
  std::fill(region.begin() + 12 * 8192, region.begin() + 26 * 8192, 0xFF);
  return lh5test::MakeContainer(region, samples::MakeIdentity(systemId));
}

std::vector<uint8_t> StoredDownloadFile(uint16_t systemId, const std::vector<uint8_t>& packed,
                                        const std::vector<uint8_t>& eeprom) {
  return StoredStream(systemId, Sections(packed, eeprom));
}

std::vector<uint8_t> SamplePacked(uint32_t seed) {
  std::vector<uint8_t> packed = samples::RandomBytes(131072, seed);
  std::vector<uint8_t> id = samples::MakeIdentity(0x1234);
  std::copy(id.begin(), id.end(), packed.begin());
  return packed;
}

std::vector<uint8_t> SampleEeprom(uint32_t seed) {
  return samples::RandomBytes(256, seed);
}

}  // namespace simtest
