// The -lh5- compressor: its bit writer and limit, Huffman lengths under the 16-bit limit, the
// shapes of the coded blocks it writes, chunking in PackHvp and the determinism of its output.
// Decoding goes through the library's decoder (an independent check with lhasa is elsewhere).
#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "PenwickHelpers.h"
#include "bit_writer.h"
#include "huffman_encode.h"
#include "lh5_decoder.h"
#include "pack.h"
#include "packed_stream.h"
#include "sample_region.h"
#include "unpack.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Coded chunk data, or empty when the compressor gave up (the chunk would be stored).
Bytes Compress(const Bytes& in, size_t limit) {
  auto encoder = std::make_unique<codec::Lh5Encoder>();
  Bytes out(limit + 16, 0xA5);
  const size_t d = encoder->CompressChunk(in.data(), in.size(), out.data(), limit);
  for (size_t i = limit; i < out.size(); ++i) EXPECT_EQ(out[i], 0xA5) << "written past limit";
  out.resize(d);
  return out;
}

Bytes Expand(const Bytes& coded, size_t rawLength) {
  codec::Lh5Decoder decoder;
  Bytes out(rawLength);
  EXPECT_TRUE(decoder.ExpandChunk(out.data(), rawLength, coded.data(), coded.size()));
  return out;
}

Bytes Pack(const Bytes& in) {
  Bytes out(in.size() + in.size() / 32762 * 8 + 32, 0);
  uint32_t length = 0;
  EXPECT_EQ(codec::PackHvp(in.data(), in.size(), out.data(), out.size(), &length), 1);
  out.resize(length);
  return out;
}

// Most significant bit first, as the stream is read.
struct Bits {
  Bytes bytes;
  unsigned used = 0;
  void Put(unsigned count, unsigned value) {
    for (unsigned i = count; i-- > 0;) {
      if (used % 8 == 0) bytes.push_back(0);
      if ((value >> i) & 1u) bytes.back() |= static_cast<uint8_t>(0x80u >> (used % 8));
      ++used;
    }
  }
};

}  // namespace

TEST(BitWriter, PacksMsbFirstAndStopsAtItsLimit) {
  uint8_t out[4] = {0, 0, 0, 0xEE};
  codec::BitWriter w;
  w.Start(out, 3);
  w.Put(3, 0b101);
  w.Put(16, 0xBEEF);
  w.Put(0, 0xFFFF);  // zero-length codes write nothing, whatever the value
  w.Put(4, 0xF3);    // only the low bits count
  w.Flush();
  EXPECT_FALSE(w.Failed());
  ASSERT_EQ(w.Position(), 3u);
  Bits expect;
  expect.Put(3, 0b101);
  expect.Put(16, 0xBEEF);
  expect.Put(4, 0x3);
  EXPECT_EQ(Bytes(out, out + 3), expect.bytes);
  w.Put(8, 0x55);  // a fourth byte: refused
  EXPECT_TRUE(w.Failed());
  EXPECT_EQ(out[3], 0xEE);
}

TEST(HuffmanBuilder, FibonacciFrequenciesAreLimitedTo16BitsAndStayComplete) {
  // Fibonacci frequencies (22 of them, totalling under 65536 like a block's items) make a tree
  // 21 levels deep without the limit.
  constexpr size_t n = 22;
  std::vector<uint16_t> freq(2 * n - 1, 0);
  freq[0] = freq[1] = 1;
  for (size_t i = 2; i < n; ++i) freq[i] = static_cast<uint16_t>(freq[i - 1] + freq[i - 2]);
  std::vector<uint8_t> length(n);
  std::vector<uint16_t> code(n);
  codec::HuffmanBuilder builder;
  EXPECT_GE(builder.Build(n, freq.data(), length.data(), code.data()), n);
  EXPECT_EQ(length[0], 16);
  uint32_t kraft = 0;
  for (size_t i = 0; i < n; ++i) {
    ASSERT_GE(length[i], 1);
    ASSERT_LE(length[i], 16);
    kraft += 1u << (16 - length[i]);
    if (i > 0) {
      EXPECT_LE(length[i], length[i - 1]) << "a more frequent symbol got a longer code";
    }
  }
  EXPECT_EQ(kraft, 1u << 16);
  // Canonical words: no word is a prefix of another.
  for (size_t a = 0; a < n; ++a) {
    for (size_t b = 0; b < n; ++b) {
      if (a == b || length[a] > length[b]) continue;
      EXPECT_NE(code[b] >> (length[b] - length[a]), code[a]) << a << " prefixes " << b;
    }
  }
}

TEST(HuffmanBuilder, SingleOrNoSymbolHasZeroLength) {
  std::vector<uint16_t> freq(27, 0);
  std::vector<uint8_t> length(14, 9);
  std::vector<uint16_t> code(14, 9);
  codec::HuffmanBuilder builder;
  EXPECT_EQ(builder.Build(14, freq.data(), length.data(), code.data()), 0u);
  freq[5] = 7;
  EXPECT_EQ(builder.Build(14, freq.data(), length.data(), code.data()), 5u);
  EXPECT_EQ(code[5], 0);
  EXPECT_EQ(std::accumulate(length.begin(), length.end(), 0), 0);
}

TEST(Lh5Encoder, OneSymbolChunkWritesOnlyItsHeader) {
  const Bytes in(3, 'A');  // three literals 'A', no copy (too short)
  Bits expect;
  expect.Put(16, 3);                     // items in the block
  expect.Put(5, 0), expect.Put(5, 0);    // no code-length code
  expect.Put(9, 0), expect.Put(9, 'A');  // every literal/length symbol is 'A', zero bits
  expect.Put(4, 0), expect.Put(4, 0);    // no distances
  EXPECT_EQ(Compress(in, 64), expect.bytes);
  EXPECT_EQ(Expand(expect.bytes, 3), in);
}

TEST(Lh5Encoder, RepeatedByteIsOneLiteralAndShortCopies) {
  const Bytes in(8192, 0x3C);
  const Bytes coded = Compress(in, in.size());
  ASSERT_FALSE(coded.empty());
  EXPECT_LT(coded.size(), 48u);  // 33 items: one literal, 31 copies of 256, one of 255
  EXPECT_EQ(Expand(coded, in.size()), in);
}

TEST(Lh5Encoder, IncompressibleDataIsGivenUpAtTheLimit) {
  const Bytes in = samples::RandomBytes(8192, 7);
  EXPECT_TRUE(Compress(in, in.size()).empty());
  const Bytes stream = Pack(in);
  ASSERT_EQ(stream.size(), 8210u);
  EXPECT_EQ(Get16bit(stream.data() + 10), 8192 + 6);  // d = r: stored
  EXPECT_EQ(Get16bit(stream.data() + 16), 8192);
  EXPECT_TRUE(std::equal(in.begin(), in.end(), stream.begin() + 18));
}

TEST(Lh5Encoder, SeveralCodedBlocksRoundTrip) {
  // 32762 random bytes are nearly all literals: three blocks of items. With room to spare the
  // encoder codes them anyway.
  const Bytes noise = samples::RandomBytes(32762, 4);
  const Bytes coded = Compress(noise, 2 * noise.size());
  ASSERT_FALSE(coded.empty());
  EXPECT_EQ(Expand(coded, noise.size()), noise);
  // Realistic data: long copies across the 8 KB segments of the decoder.
  const Bytes region = samples::MakeSampleRegion(3);
  const Bytes piece(region.begin(), region.begin() + 32762);
  EXPECT_EQ(Expand(Compress(piece, piece.size()), piece.size()), piece);
}

TEST(PackHvp, CutsIntoChunksOf32762) {
  const Bytes region = samples::MakeSampleRegion(5);
  const Bytes in(region.begin(), region.begin() + 32763);
  const Bytes stream = Pack(in);
  EXPECT_EQ(Get16bit(stream.data()), 8);
  EXPECT_EQ(Get16bit(stream.data() + 2), GetCrc16(stream.data() + 4, 6));
  EXPECT_EQ(Get16bit(stream.data() + 4), 0xFFFF);
  EXPECT_EQ(Get16bit(stream.data() + 6), 1);
  ASSERT_EQ(Get16bit(stream.data() + 8), 2);
  const size_t first = 10;
  EXPECT_EQ(Get16bit(stream.data() + first + 6), 32762);
  const size_t second = first + 2 + Get16bit(stream.data() + first);
  EXPECT_EQ(Get16bit(stream.data() + second), 7);  // one stored byte
  EXPECT_EQ(Get16bit(stream.data() + second + 4), 0xFFFF);
  EXPECT_EQ(Get16bit(stream.data() + second + 6), 1);
  EXPECT_EQ(Get16bit(stream.data() + second + 2), GetCrc16(stream.data() + second + 4, 5));
  EXPECT_EQ(second + 9, stream.size());

  Bytes back(in.size());
  EXPECT_EQ(codec::UnpackHvp(stream.data(), stream.size(), back.data(), back.size()), in.size());
  EXPECT_EQ(back, in);
}

TEST(PackHvp, EmptyInputWritesNothingAndTooLittleRoomFails) {
  Bytes out(64, 0xEE);
  uint32_t length = 1234;
  EXPECT_EQ(codec::PackHvp(nullptr, 0, out.data(), out.size(), &length), 1);
  EXPECT_EQ(length, 1234u);
  EXPECT_EQ(out, Bytes(64, 0xEE));
  const Bytes in = samples::RandomBytes(100, 1);
  EXPECT_EQ(codec::PackHvp(in.data(), in.size(), out.data(), out.size(), &length), 0);
  EXPECT_EQ(length, 1234u);
}

TEST(PackHvp, OutputDependsOnlyOnTheInput) {
  // The chunk ends with a string Q that occurs twice before, once followed by '1' and once by
  // '2'. The search compares past the last input byte, so what the text area holds there
  // decides which earlier Q the final copy refers to. Work areas used before for a chunk of
  // '1's must give the same bytes as fresh ones.
  const std::string q = "QRSTUVWXYZqrstuvwxyz";
  std::string text = q + "1";
  for (int i = 0; i < 50; ++i) text += static_cast<char>('a' + i % 10);
  text += q + "2";
  for (int i = 0; i < 50; ++i) text += static_cast<char>('A' + i % 10);
  text += q;
  const Bytes chunk(text.begin(), text.end());
  const Bytes ones(400, '1');
  auto used = codec::NewPackWork();
  auto fresh = codec::NewPackWork();
  ASSERT_TRUE(used && fresh);
  Bytes a(1000), b(1000);
  uint32_t la = 0, lb = 0;
  ASSERT_TRUE(codec::PackStream(*used, ones.data(), ones.size(), a.data(), a.size(), &la));
  ASSERT_TRUE(codec::PackStream(*used, chunk.data(), chunk.size(), a.data(), a.size(), &la));
  ASSERT_TRUE(codec::PackStream(*fresh, chunk.data(), chunk.size(), b.data(), b.size(), &lb));
  a.resize(la);
  b.resize(lb);
  EXPECT_EQ(a, b);
  EXPECT_LT(a.size(), chunk.size() + 18);  // coded, not stored
}
