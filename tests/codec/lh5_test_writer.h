// Test-side producers of -lh5- coded data, packed streams and containers, written straight
// from the bit format so that decoder tests do not depend on the library's own encoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lh5test {

// Most-significant-bit-first writer.
class BitWriter {
 public:
  void Put(unsigned width, uint32_t value);
  // Pads the last byte with zero bits.
  std::vector<uint8_t> Finish();

 private:
  std::vector<uint8_t> bytes_;
  uint32_t pending_ = 0;
  unsigned pendingBits_ = 0;
};

// Canonical codes for a list of code lengths (0 = unused): shorter codes first, codes of one
// length in increasing symbol order.
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths);

// Writes the lengths of a code-length or distance code (3 bits, or 7 and a unary tail), with
// the 2-bit zero count after `special` lengths (pass a value past the list for none).
void WriteSmallLengths(BitWriter& w, const std::vector<uint8_t>& lengths, unsigned countBits,
                       size_t special);

// A coded block with given literal/length (510) and distance (14) code lengths. The header
// sends the literal lengths through a flat 5-bit code-length code.
class BlockWriter {
 public:
  BlockWriter(BitWriter& w, std::vector<uint8_t> literalLengths,
              std::vector<uint8_t> distanceLengths);
  // Flat codes: every literal/length symbol 9 bits, every distance class 4 bits.
  static BlockWriter Flat(BitWriter& w);

  void Header(uint16_t codes);
  void Literal(uint8_t byte);
  // A copy of 3 to 256 bytes from `distance` (1 to 8192) bytes back.
  void Copy(unsigned length, unsigned distance);

 private:
  BitWriter& w_;
  std::vector<uint8_t> literalLengths_, distanceLengths_;
  std::vector<uint32_t> literalCodes_, distanceCodes_;
};

// Codes `raw` (at most 65535 codes) as one block with Huffman codes from its symbol counts and
// greedy matches of up to 256 bytes within 8 KB.
std::vector<uint8_t> TestEncode(const uint8_t* raw, size_t size);

// A packed stream (block tags) around the given chunks: each is (raw length, data).
struct Chunk {
  uint16_t rawLength;
  std::vector<uint8_t> data;
};
std::vector<uint8_t> MakeStream(const std::vector<Chunk>& chunks);

// A 131072-byte container of the region (48 blocks, TestEncode'd), descriptors 48 to 63 zero.
std::vector<uint8_t> MakeContainer(const std::vector<uint8_t>& region,
                                   const std::vector<uint8_t>& identity);

// Offset of descriptor i's first byte in a container.
inline size_t DescriptorAt(size_t i) {
  return 64 + 64 * i;
}

}  // namespace lh5test
