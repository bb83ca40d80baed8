// Static Huffman codes of the -lh5- encoder: code lengths from symbol frequencies, limited to
// 16 bits, and canonical code words. Ties and the length limit are resolved in one fixed way
// (a binary heap in symbol order, the least frequent leaves take the longest codes), which
// the encoder's output depends on.
#pragma once

#include <array>
#include <cstdint>

namespace codec {

class HuffmanBuilder {
 public:
  static constexpr unsigned kMaxSymbols = 510;
  static constexpr unsigned kMaxLength = 16;

  // Builds the code for symbols 0..n-1. `freq` must have room for 2n-1 entries (the internal
  // nodes' frequencies go after the symbols'). Returns the root: a node number >= n when at
  // least two symbols occur; otherwise the one symbol that occurs (0 when none does), whose
  // length stays 0 and whose code word is 0.
  unsigned Build(unsigned n, uint16_t* freq, uint8_t* length, uint16_t* code);

 private:
  void SiftDown(unsigned i);
  void CountDepths(unsigned node, unsigned depth);
  void LimitLengths(unsigned root);

  unsigned n_ = 0;
  const uint16_t* freq_ = nullptr;
  unsigned heapSize_ = 0;
  std::array<uint16_t, kMaxSymbols + 1> heap_{};
  std::array<uint16_t, 2 * kMaxSymbols - 1> left_{};
  std::array<uint16_t, 2 * kMaxSymbols - 1> right_{};
  std::array<uint16_t, kMaxSymbols> leafOrder_{};
  unsigned leaves_ = 0;
  std::array<unsigned, kMaxLength + 1> lengthCount_{};
};

}  // namespace codec
