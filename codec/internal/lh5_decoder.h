// Expansion of one chunk of a packed stream: stored bytes, or the -lh5- coded bit stream
// (LZ77 copies within an 8 KB window; literals, copy lengths and distances under static
// Huffman codes sent at the head of each coded block).
//
// One decoder belongs to one caller (it is reset for every chunk, nothing is carried over), so
// separate decoders may run on separate threads. Its tables and window (about 22 KB) are
// allocated once, when it is made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace codec {

class Lh5DecoderState;

class Lh5Decoder {
 public:
  Lh5Decoder();
  ~Lh5Decoder();
  Lh5Decoder(const Lh5Decoder&) = delete;
  Lh5Decoder& operator=(const Lh5Decoder&) = delete;

  // Writes `rawLength` bytes to `out` from `dataLength` bytes of chunk data: a copy when both
  // lengths are equal, otherwise a decode. Reads nothing outside the data and writes nothing
  // outside out[0 .. rawLength-1]. Returns false when the data holds code lengths that cannot
  // be built into a code (out then holds an unspecified prefix of the chunk).
  bool ExpandChunk(uint8_t* out, size_t rawLength, const uint8_t* data, size_t dataLength);

 private:
  std::unique_ptr<Lh5DecoderState> state_;
};

}  // namespace codec
