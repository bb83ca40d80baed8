// CRC-16/ARC, table driven (reflected polynomial 0xA001).
#include <array>

#include "PenwickHelpers.h"

namespace {

constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    table[i] = static_cast<uint16_t>(crc);
  }
  return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();
static_assert(kTable[1] == 0xC0C1 && kTable[255] == 0x4040);

}  // namespace

extern "C" uint16_t GetCrc16(const uint8_t* data, uint32_t length) {
  uint16_t crc = 0;
  for (uint32_t i = 0; i < length; ++i)
    crc = static_cast<uint16_t>(kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
  return crc;
}
