// The state of the -lh5- chunk decoder behind Lh5Decoder: the bit reader, the code tables of
// the current coded block and the 8 KB window. About 22 KB.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "bit_reader.h"
#include "huffman_decode_table.h"

namespace codec {

inline constexpr size_t kWindowSize = 8192;
inline constexpr unsigned kLiteralSymbols = 510;    // NC: 256 literals, copies of 3 to 256
inline constexpr unsigned kCodeLengthSymbols = 19;  // NT
inline constexpr unsigned kDistanceSymbols = 14;    // NP
inline constexpr unsigned kMinCopy = 3;

class Lh5DecoderState {
 public:
  // As Lh5Decoder::ExpandChunk.
  bool ExpandChunk(uint8_t* out, size_t rawLength, const uint8_t* data, size_t dataLength);

 private:
  using LiteralTable = HuffmanDecodeTable<12, kLiteralSymbols>;
  // Shared by the code-length code and the distance code, one after the other.
  using SmallTable = HuffmanDecodeTable<8, kCodeLengthSymbols>;

  bool ExpandCoded(uint8_t* out, size_t rawLength, const uint8_t* data, size_t dataLength);
  bool FillSegment(size_t count);
  void CopyInWindow(size_t to, size_t distance, size_t length);
  bool ReadBlockHeader();
  bool ReadSmallLengths(unsigned symbols, unsigned countBits, unsigned special);
  bool ReadLiteralLengths();
  unsigned DecodeLiteral(BitReader& bits) const;
  unsigned DecodeDistance(BitReader& bits) const;

  BitReader bits_;
  uint16_t codesLeft_ = 0;  // codes left in the current coded block (16-bit, wraps like it)
  LiteralTable literal_;
  SmallTable small_;
  std::array<uint8_t, kWindowSize> window_{};
  size_t pendingLength_ = 0;  // bytes of a copy still to come in the next segment
  size_t pendingSource_ = 0;
};

}  // namespace codec
