// The chunk decoder on hand-built coded data: code shapes, copies, segments and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "lh5_decoder.h"
#include "lh5_test_writer.h"
#include "sample_region.h"

using lh5test::BitWriter;
using lh5test::BlockWriter;

namespace {

struct Expansion {
  bool ok;
  std::vector<uint8_t> out;
};

// Expands into a buffer with a guard band on both sides that must stay untouched.
Expansion Expand(const std::vector<uint8_t>& data, size_t rawLength) {
  auto decoder = std::make_unique<codec::Lh5Decoder>();
  std::vector<uint8_t> buffer(rawLength + 64, 0xA5);
  const bool ok = decoder->ExpandChunk(buffer.data() + 32, rawLength, data.data(), data.size());
  for (size_t i = 0; i < 32; ++i) {
    EXPECT_EQ(buffer[i], 0xA5) << "write before the output";
    EXPECT_EQ(buffer[buffer.size() - 1 - i], 0xA5) << "write after the output";
  }
  return {ok, std::vector<uint8_t>(buffer.begin() + 32, buffer.end() - 32)};
}

std::vector<uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

}  // namespace

TEST(Lh5Decoder, StoredChunkIsCopiedByteForByte) {
  const auto raw = samples::RandomBytes(1000, 7);
  const Expansion e = Expand(raw, raw.size());
  EXPECT_TRUE(e.ok);
  EXPECT_EQ(e.out, raw);
}

TEST(Lh5Decoder, LiteralsAndCopiesWithFlatCodes) {
  BitWriter w;
  BlockWriter b = BlockWriter::Flat(w);
  b.Header(7);
  for (char c : std::string("abcd")) b.Literal(static_cast<uint8_t>(c));
  b.Copy(4, 4);   // abcd
  b.Copy(5, 2);   // overlapping: cdcdc
  b.Copy(3, 13);  // abc, from the first byte
  const Expansion e = Expand(w.Finish(), 16);
  EXPECT_TRUE(e.ok);
  EXPECT_EQ(e.out, Bytes("abcdabcdcdcdcabc"));
}

TEST(Lh5Decoder, LongCodesWalkTheTreesBelowTheLookups) {
  // A staircase code: lengths 1 to 15 and two of 16, so most codes are longer than both the
  // 12-bit literal lookup and the 8-bit distance lookup.
  std::vector<uint8_t> literal(510, 0), distance(14, 0);
  const std::string text = "ETAOINSHRDLUCMFW";
  for (size_t i = 0; i < 15; ++i)
    literal[static_cast<uint8_t>(text[i])] = static_cast<uint8_t>(i + 1);
  literal[static_cast<uint8_t>(text[15])] = 16;
  literal[256] = 16;  // copy of 3
  for (unsigned c = 0; c < 13; ++c) distance[c] = static_cast<uint8_t>(c + 1);
  distance[13] = 13;
  BitWriter w;
  BlockWriter b(w, literal, distance);
  b.Header(static_cast<uint16_t>(text.size() + 3));
  for (char c : text) b.Literal(static_cast<uint8_t>(c));
  b.Copy(3, 16);        // class 5
  b.Copy(3, 1);         // class 0
  b.Copy(3, 4096 + 5);  // class 13, long distance code; reads zeros before the chunk
  const Expansion e = Expand(w.Finish(), text.size() + 9);
  ASSERT_TRUE(e.ok);
  EXPECT_EQ(std::string(e.out.begin(), e.out.begin() + 22), text + "ETAAAA");
  EXPECT_EQ(std::vector<uint8_t>(e.out.begin() + 22, e.out.end()), std::vector<uint8_t>(3, 0));
}

TEST(Lh5Decoder, ZeroLiteralCountCodesOneSymbolWithZeroBits) {
  BitWriter w;
  w.Put(16, 1000);
  w.Put(5, 0);  // code-length code: one symbol
  w.Put(5, 0);
  w.Put(9, 0);  // literal/length code: one symbol, 'Q'
  w.Put(9, 'Q');
  w.Put(4, 0);  // distance code: one symbol
  w.Put(4, 0);
  const Expansion e = Expand(w.Finish(), 1000);  // 1000 symbols from no further bits
  EXPECT_TRUE(e.ok);
  EXPECT_EQ(e.out, std::vector<uint8_t>(1000, 'Q'));
}

TEST(Lh5Decoder, CopyOf256AtDistanceOneRepeatsOneByte) {
  BitWriter w;
  BlockWriter b = BlockWriter::Flat(w);
  b.Header(3);
  b.Literal('x');
  b.Copy(256, 1);
  b.Literal('y');
  const Expansion e = Expand(w.Finish(), 258);
  EXPECT_TRUE(e.ok);
  std::vector<uint8_t> expected(257, 'x');
  expected.push_back('y');
  EXPECT_EQ(e.out, expected);
}

TEST(Lh5Decoder, CopyAcrossASegmentEndContinuesInTheNextSegment) {
  // 8100 pattern bytes, then a 200-byte copy at distance 150 that straddles byte 8192, then
  // blocks of codes over several block headers.
  std::vector<uint8_t> expected;
  BitWriter w;
  BlockWriter b = BlockWriter::Flat(w);
  b.Header(8100);
  for (int i = 0; i < 8100; ++i) {
    expected.push_back(static_cast<uint8_t>(i * 7 + i / 50));
    b.Literal(expected.back());
  }
  b.Header(2);
  b.Copy(200, 150);
  for (int i = 0; i < 200; ++i) expected.push_back(expected[expected.size() - 150]);
  b.Copy(256, 8192);  // the farthest distance
  for (int i = 0; i < 256; ++i) expected.push_back(expected[expected.size() - 8192]);
  const Expansion e = Expand(w.Finish(), expected.size());
  EXPECT_TRUE(e.ok);
  EXPECT_EQ(e.out, expected);
}

TEST(Lh5Decoder, CodedDataThatEndsEarlyReadsZeroBits) {
  BitWriter w;
  BlockWriter b = BlockWriter::Flat(w);
  b.Header(2);
  b.Literal('a');
  b.Literal('b');
  // After the block, zero bits give a block of 0 codes (taken as 65536) of zero-length
  // codes of symbol 0.
  const Expansion e = Expand(w.Finish(), 32762);
  EXPECT_TRUE(e.ok);
  EXPECT_EQ(e.out[0], 'a');
  EXPECT_EQ(e.out[1], 'b');
  EXPECT_EQ(std::count(e.out.begin() + 2, e.out.end(), 0), 32760);
}

TEST(Lh5Decoder, RealisticBlocksRoundTripThroughTheTestEncoder) {
  const auto region = samples::MakeSampleRegion(3);
  for (size_t block : {0, 4, 8, 12, 26, 30, 47}) {
    const std::vector<uint8_t> raw(region.begin() + block * 8192,
                                   region.begin() + (block + 1) * 8192);
    const Expansion e = Expand(lh5test::TestEncode(raw.data(), raw.size()), raw.size());
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(e.out, raw) << "block " << block;
  }
}

// Each case is a block header that cannot become a code; the chunk is refused.
TEST(Lh5Decoder, RefusesCodeTablesThatCannotBeBuilt) {
  struct Case {
    const char* name;
    void (*write)(BitWriter&);
  };
  const Case cases[] = {
      {"code-length count above 19", [](BitWriter& w) { w.Put(5, 20); }},
      {"lone code-length symbol outside the alphabet",
       [](BitWriter& w) { w.Put(5, 0), w.Put(5, 19); }},
      {"code-length of 20 bits",
       [](BitWriter& w) {
         w.Put(5, 1);
         w.Put(16, 0xFFFF);  // 7 and thirteen ones
       }},
      {"over-full code-length code",
       [](BitWriter& w) {
         w.Put(5, 3);
         for (int i = 0; i < 3; ++i) w.Put(3, 1);  // three codes of one bit
         w.Put(2, 0);
       }},
      {"literal count above 510",
       [](BitWriter& w) {
         w.Put(5, 0), w.Put(5, 0);  // code-length code: symbol 0
         w.Put(9, 511);
       }},
      {"run of zero lengths past 510",
       [](BitWriter& w) {
         w.Put(5, 0), w.Put(5, 2);  // code-length code: symbol 2 (a run of 20 + 9 bits)
         w.Put(9, 510);
         w.Put(9, 400), w.Put(9, 200);
       }},
      {"lone literal outside the alphabet",
       [](BitWriter& w) {
         w.Put(5, 0), w.Put(5, 0);
         w.Put(9, 0), w.Put(9, 510);
       }},
      {"over-full literal code",
       [](BitWriter& w) {
         w.Put(5, 0), w.Put(5, 3);  // every literal length is 3 - 2 = 1
         w.Put(9, 3);
       }},
      {"distance count above 14",
       [](BitWriter& w) {
         w.Put(5, 0), w.Put(5, 0), w.Put(9, 0), w.Put(9, 'a');
         w.Put(4, 15);
       }},
      {"lone distance class outside the alphabet",
       [](BitWriter& w) {
         w.Put(5, 0), w.Put(5, 0), w.Put(9, 0), w.Put(9, 'a');
         w.Put(4, 0), w.Put(4, 14);
       }},
      {"over-full distance code",
       [](BitWriter& w) {
         w.Put(5, 0), w.Put(5, 0), w.Put(9, 0), w.Put(9, 'a');
         w.Put(4, 3);
         for (int i = 0; i < 3; ++i) w.Put(3, 1);
       }},
  };
  for (const Case& c : cases) {
    BitWriter w;
    w.Put(16, 10);
    c.write(w);
    for (int i = 0; i < 8; ++i) w.Put(8, 0xFF);
    EXPECT_FALSE(Expand(w.Finish(), 100).ok) << c.name;
  }
}

TEST(Lh5Decoder, ArbitraryBytesStayInsideTheOutput) {
  // Random data as coded chunks: whatever it decodes to, the guard bands must hold.
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    const auto data = samples::RandomBytes(seed % 40 + 1, seed);
    Expand(data, seed * 97 % 20000 + 50);
  }
}
