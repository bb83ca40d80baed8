// The sample settings region, identity blocks and pseudo-random bytes.
#include "sample_region.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

namespace samples {
namespace {

void PutBe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

void PutBe32(uint8_t* p, uint32_t v) {
  PutBe16(p, v >> 16);
  PutBe16(p + 2, v);
}

}  // namespace

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(count);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

std::vector<uint8_t> MakeSampleRegion(uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> region(393216, 0xFF);
  const char* names[] = {"Astra News", "Sport One", "Movie Max",  "Kids Club", "Music Hits",
                         "Weather",    "Docu Plus", "Radio Gold", "Shop TV",   "Culture"};

  // Block 0-1: system settings, a header with a version and small tables.
  uint8_t* p = region.data();
  std::memcpy(p, "SETTINGS", 8);
  PutBe16(p + 8, 0x0102);
  for (int i = 0; i < 64; ++i) p[16 + i] = static_cast<uint8_t>(i < 40 ? rng() % 4 : 0);

  // Blocks 2-9: satellites, 64 bytes each.
  for (int s = 0; s < 40; ++s) {
    uint8_t* rec = region.data() + 2 * 8192 + s * 64;
    std::memset(rec, 0, 64);
    std::snprintf(reinterpret_cast<char*>(rec), 20, "SAT %d.%dE", 10 + s, s % 10);
    PutBe16(rec + 20, static_cast<uint32_t>(100 + s * 7));
    PutBe32(rec + 24, 9750000u + static_cast<uint32_t>(rng() % 3) * 850000u);
    rec[30] = static_cast<uint8_t>(s % 2);
  }

  // Transponders, 16 bytes each.
  for (int t = 0; t < 1200; ++t) {
    uint8_t* rec = region.data() + 4 * 8192 + t * 16;
    PutBe32(rec, 10700000u + static_cast<uint32_t>(rng() % 2000) * 1000u);
    PutBe16(rec + 4, 22000u + static_cast<uint32_t>(rng() % 8) * 500u);
    rec[6] = static_cast<uint8_t>(rng() % 4);
    rec[7] = static_cast<uint8_t>(t % 40);
    PutBe16(rec + 8, static_cast<uint32_t>(t));
    std::memset(rec + 10, 0, 6);
  }

  // Channels, 48 bytes each, from block 8 on.
  const int channels = 2500 + static_cast<int>(rng() % 500);
  for (int c = 0; c < channels; ++c) {
    uint8_t* rec = region.data() + 8 * 8192 + c * 48;
    std::memset(rec, 0, 48);
    std::snprintf(reinterpret_cast<char*>(rec), 24, "%s %d", names[rng() % 10], c % 97);
    PutBe16(rec + 24, static_cast<uint32_t>(rng() % 1200));  // transponder
    PutBe16(rec + 26, 0x100u + static_cast<uint32_t>(c));    // service id
    PutBe16(rec + 28, 0x200u + static_cast<uint32_t>(rng() % 0x1000));
    PutBe16(rec + 30, 0x300u + static_cast<uint32_t>(rng() % 0x1000));
    rec[32] = static_cast<uint8_t>(rng() % 3);
    rec[33] = static_cast<uint8_t>(c % 7 == 0 ? 0x80 : 0);
  }

  // Favourite lists: runs of 16-bit channel numbers.
  for (int i = 0; i < 1500; ++i)
    PutBe16(region.data() + 26 * 8192 + i * 2, static_cast<uint32_t>(rng() % channels));

  // A block of small counters and flags, then erased flash up to the end.
  for (int i = 0; i < 4096; ++i) region[30 * 8192 + i] = static_cast<uint8_t>(rng() % 16);
  return region;
}

std::vector<uint8_t> MakeIdentity(uint16_t systemId, uint8_t fill) {
  std::vector<uint8_t> id(32, fill);
  for (int i = 0; i < 32; ++i) id[i] = static_cast<uint8_t>(fill + i * 3);
  id[5] = static_cast<uint8_t>(systemId >> 8);
  id[6] = static_cast<uint8_t>(systemId);
  uint8_t sum = 0;
  for (int i = 4; i < 32; ++i) sum = static_cast<uint8_t>(sum + id[i]);
  id[3] = static_cast<uint8_t>(~sum);
  return id;
}

std::vector<uint8_t> MakePackableSampleRegion(uint32_t seed) {
  std::vector<uint8_t> region = MakeSampleRegion(seed);
  std::fill(region.begin() + 14 * 8192, region.begin() + 26 * 8192, 0xFF);
  return region;
}

}  // namespace samples
