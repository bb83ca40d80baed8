// The -lh5- block compressor: a greedy LZ77 parse with one step of lookahead over an 8 KB
// window, buffered as literals and copies and coded in blocks with static Huffman codes. The
// state is large (about 250 KB) and belongs to one caller at a time: allocate one per call
// (see PackWork), so that independent callers can compress on different threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "bit_writer.h"
#include "huffman_encode.h"
#include "match_tree.h"

namespace codec {

class Lh5Encoder {
 public:
  static constexpr unsigned kNC = 510;  // literal/length alphabet
  static constexpr unsigned kNT = 19;   // code-length alphabet
  static constexpr unsigned kNP = 14;   // distance classes
  static constexpr unsigned kItemBufferSize = 16384;

  // Compresses `length` bytes (1 to 32762) into `out`, which has room for `limit` bytes.
  // Returns the coded length, or 0 when the coded data would not fit in `limit` bytes.
  size_t CompressChunk(const uint8_t* input, size_t length, uint8_t* out, size_t limit);

 private:
  void Output(unsigned symbol, unsigned distance);
  void SendBlock();
  // How many literal code lengths are sent: all up to the last that is not zero.
  unsigned UsedLiteralLengths() const;
  // Those lengths as code-length symbols: `emit(symbol, extraWidth, extraValue)` for each.
  template <typename Emit>
  void WalkLiteralLengths(Emit emit) const;
  void CountCodeLengthFrequencies();
  void WriteSmallLengths(unsigned nn, unsigned width, int special);
  void WriteLiteralLengths();
  void PutCode(unsigned symbol) { bits_.Put(cLen_[symbol], cCode_[symbol]); }
  void PutSmallCode(unsigned symbol) { bits_.Put(ptLen_[symbol], ptCode_[symbol]); }
  void PutDistance(unsigned p);

  MatchTree tree_;
  HuffmanBuilder huffman_;
  BitWriter bits_;
  std::array<uint8_t, kItemBufferSize> items_;
  unsigned itemPos_ = 0;
  unsigned flagPos_ = 0;
  unsigned flagMask_ = 0;
  std::array<uint16_t, 2 * kNC - 1> cFreq_;
  std::array<uint16_t, 2 * kNP - 1> pFreq_;
  std::array<uint16_t, 2 * kNT - 1> tFreq_;
  std::array<uint8_t, kNC> cLen_;
  std::array<uint16_t, kNC> cCode_;
  std::array<uint8_t, kNT> ptLen_;  // shared by the code-length and distance codes
  std::array<uint16_t, kNT> ptCode_;
};

}  // namespace codec
