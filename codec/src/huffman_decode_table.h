// Canonical Huffman decode tables of the -lh5- bit stream: a direct lookup on the next
// `kBits` bits gives a symbol, or, for codes longer than kBits, the root of a small binary tree
// (left/right children, next bit 0/1) that the remaining bits walk down.
//
// Node numbers start at the alphabet size, so an entry below it is a symbol. The builder
// refuses lengths it cannot turn into a table (a length above 16, an over-full code or a tree
// needing more nodes than it has) so that no decode can leave the arrays. Codes that are not
// full are accepted: bit patterns that no code uses decode as symbol 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace codec {

inline constexpr unsigned kMaxCodeLength = 16;

// Builds `table` (2^tableBits entries) and the tree nodes from the code lengths of `count`
// symbols. Node numbers run from `count` up to `nodeLimit` - 1. Returns false, with the arrays
// in an unspecified but in-range state, when the lengths cannot be built.
bool BuildDecodeTable(size_t count, const uint8_t* lengths, unsigned tableBits, uint16_t* table,
                      uint16_t* left, uint16_t* right, size_t nodeLimit);

template <unsigned kBits, size_t kMaxSymbols>
struct HuffmanDecodeTable {
  static constexpr unsigned kTableBits = kBits;
  static constexpr size_t kNodes = 2 * kMaxSymbols - 1;

  std::array<uint16_t, size_t{1} << kBits> table{};
  std::array<uint16_t, kNodes> left{};
  std::array<uint16_t, kNodes> right{};
  std::array<uint8_t, kMaxSymbols> lengths{};
  size_t symbols = kMaxSymbols;  // alphabet size of the current code

  // Builds from lengths[0 .. count-1]; false when they cannot be built.
  bool Build(size_t count) {
    symbols = count;
    return BuildDecodeTable(count, lengths.data(), kBits, table.data(), left.data(), right.data(),
                            kNodes);
  }

  // A code of one symbol coded with zero bits.
  void SetSingle(size_t count, uint16_t symbol) {
    symbols = count;
    lengths.fill(0);
    table.fill(symbol);
  }

  // Decodes one symbol from a bit buffer whose next bit is bit 63; returns it and its length.
  uint16_t Decode(uint64_t buffer, unsigned& length) const {
    uint16_t symbol = table[buffer >> (64 - kBits)];
    if (symbol >= symbols) {
      uint64_t mask = uint64_t{1} << (63 - kBits);
      do {
        symbol = (buffer & mask) ? right[symbol] : left[symbol];
        mask >>= 1;
      } while (symbol >= symbols);
    }
    length = lengths[symbol];
    return symbol;
  }
};

}  // namespace codec
