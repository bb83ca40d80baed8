// Building the lookup tables and trees of the -lh5- decoder from code lengths.
#include "huffman_decode_table.h"

#include <algorithm>

namespace codec {

bool BuildDecodeTable(size_t count, const uint8_t* lengths, unsigned tableBits, uint16_t* table,
                      uint16_t* left, uint16_t* right, size_t nodeLimit) {
  // Codes of each length are consecutive, in increasing symbol order, shorter codes first.
  // start[k] is the first code of length k, left aligned in 16 bits.
  uint32_t lengthCount[kMaxCodeLength + 1] = {};
  for (size_t ch = 0; ch < count; ++ch) {
    if (lengths[ch] > kMaxCodeLength) return false;
    ++lengthCount[lengths[ch]];
  }
  uint32_t start[kMaxCodeLength + 2] = {};
  for (unsigned k = 1; k <= kMaxCodeLength; ++k)
    start[k + 1] = start[k] + (lengthCount[k] << (kMaxCodeLength - k));
  if (start[kMaxCodeLength + 1] > (uint32_t{1} << kMaxCodeLength)) return false;  // over-full

  const unsigned shift = kMaxCodeLength - tableBits;
  const size_t tableSize = size_t{1} << tableBits;
  // Entries past the short codes: prefixes of the long codes (tree roots) or unused.
  std::fill(table + (start[tableBits + 1] >> shift), table + tableSize, uint16_t{0});

  size_t nextNode = count;
  for (size_t ch = 0; ch < count; ++ch) {
    const unsigned length = lengths[ch];
    if (length == 0) continue;
    const uint32_t code = start[length];
    start[length] += uint32_t{1} << (kMaxCodeLength - length);
    const auto symbol = static_cast<uint16_t>(ch);
    if (length <= tableBits) {
      const size_t first = code >> shift;
      std::fill(table + first, table + first + (size_t{1} << (tableBits - length)), symbol);
      continue;
    }
    uint16_t* slot = &table[code >> shift];
    uint32_t mask = uint32_t{1} << (shift - 1);
    for (unsigned step = tableBits; step < length; ++step, mask >>= 1) {
      if (*slot == 0) {
        if (nextNode >= nodeLimit) return false;
        left[nextNode] = right[nextNode] = 0;
        *slot = static_cast<uint16_t>(nextNode++);
      } else if (*slot < count) {
        return false;  // a shorter code is a prefix of this one
      }
      slot = (code & mask) ? &right[*slot] : &left[*slot];
    }
    if (*slot != 0) return false;  // the code is already taken
    *slot = symbol;
  }
  return true;
}

}  // namespace codec
