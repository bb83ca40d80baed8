// Test-side -lh5- writer: bit-level coded blocks, packed streams and containers.
#include "lh5_test_writer.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <stdexcept>

#include "PenwickHelpers.h"

namespace lh5test {
namespace {

constexpr size_t kLiteralSymbols = 510;
constexpr size_t kDistanceSymbols = 14;
constexpr size_t kCodeLengthSymbols = 19;
constexpr unsigned kCodeLengthWidth = 5;  // the flat code-length code

void PutBe16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  Put16bit(out.data() + at, static_cast<uint16_t>(value));
}

void PutBe32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  Put32bit(out.data() + at, value);
}

// Huffman code lengths (at most 16) for the symbol counts; unused symbols get 0. A single used
// symbol gets length 1.
std::vector<uint8_t> HuffmanLengths(std::vector<uint32_t> counts) {
  for (;;) {
    using Node = std::pair<uint64_t, int>;  // weight, node
    std::priority_queue<Node, std::vector<Node>, std::greater<>> heap;
    std::vector<int> parent(counts.size() * 2, -1);
    for (size_t s = 0; s < counts.size(); ++s)
      if (counts[s] > 0) heap.push({counts[s], static_cast<int>(s)});
    if (heap.size() == 1) heap.push({0, counts[0] == 0 ? 0 : 1});  // pair it with any symbol
    int next = static_cast<int>(counts.size());
    while (heap.size() > 1) {
      const Node a = heap.top();
      heap.pop();
      const Node b = heap.top();
      heap.pop();
      parent[a.second] = parent[b.second] = next;
      heap.push({a.first + b.first, next++});
    }
    std::vector<uint8_t> lengths(counts.size(), 0);
    bool fits = true;
    for (size_t s = 0; s < counts.size(); ++s) {
      unsigned depth = 0;
      for (int n = static_cast<int>(s); parent[n] >= 0; n = parent[n]) ++depth;
      if (depth > 16) fits = false;
      lengths[s] = static_cast<uint8_t>(depth);
    }
    if (fits) return lengths;
    for (auto& c : counts) c = c == 0 ? 0 : (c + 1) / 2;
  }
}

}  // namespace

void BitWriter::Put(unsigned width, uint32_t value) {
  for (unsigned i = width; i-- > 0;) {
    pending_ = (pending_ << 1) | ((value >> i) & 1);
    if (++pendingBits_ == 8) {
      bytes_.push_back(static_cast<uint8_t>(pending_));
      pending_ = 0;
      pendingBits_ = 0;
    }
  }
}

std::vector<uint8_t> BitWriter::Finish() {
  if (pendingBits_ > 0) Put(8 - pendingBits_, 0);
  return bytes_;
}

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
  std::vector<uint32_t> codes(lengths.size(), 0);
  uint32_t next = 0;
  for (unsigned length = 1; length <= 16; ++length) {
    for (size_t s = 0; s < lengths.size(); ++s)
      if (lengths[s] == length) codes[s] = next++;
    next <<= 1;
  }
  return codes;
}

void WriteSmallLengths(BitWriter& w, const std::vector<uint8_t>& lengths, unsigned countBits,
                       size_t special) {
  size_t used = lengths.size();
  while (used > 0 && lengths[used - 1] == 0) --used;
  w.Put(countBits, static_cast<uint32_t>(used));
  for (size_t i = 0; i < used; ++i) {
    if (lengths[i] < 7) {
      w.Put(3, lengths[i]);
    } else {
      w.Put(3, 7);
      for (unsigned n = 7; n < lengths[i]; ++n) w.Put(1, 1);
      w.Put(1, 0);
    }
    if (i + 1 == special) w.Put(2, 0);
  }
}

BlockWriter::BlockWriter(BitWriter& w, std::vector<uint8_t> literalLengths,
                         std::vector<uint8_t> distanceLengths)
    : w_(w),
      literalLengths_(std::move(literalLengths)),
      distanceLengths_(std::move(distanceLengths)),
      literalCodes_(CanonicalCodes(literalLengths_)),
      distanceCodes_(CanonicalCodes(distanceLengths_)) {}

BlockWriter BlockWriter::Flat(BitWriter& w) {
  return BlockWriter(w, std::vector<uint8_t>(kLiteralSymbols, 9),
                     std::vector<uint8_t>(kDistanceSymbols, 4));
}

void BlockWriter::Header(uint16_t codes) {
  w_.Put(16, codes);
  WriteSmallLengths(w_, std::vector<uint8_t>(kCodeLengthSymbols, kCodeLengthWidth), 5, 3);
  size_t used = kLiteralSymbols;
  while (used > 0 && literalLengths_[used - 1] == 0) --used;
  w_.Put(9, static_cast<uint32_t>(used));
  // Flat 5-bit code-length code: symbol x has code x. x = 0 is one zero length, else length+2.
  for (size_t i = 0; i < used; ++i)
    w_.Put(kCodeLengthWidth, literalLengths_[i] == 0 ? 0u : literalLengths_[i] + 2u);
  WriteSmallLengths(w_, distanceLengths_, 4, 99);
}

void BlockWriter::Literal(uint8_t byte) {
  if (literalLengths_[byte] == 0) throw std::logic_error("literal without a code");
  w_.Put(literalLengths_[byte], literalCodes_[byte]);
}

void BlockWriter::Copy(unsigned length, unsigned distance) {
  const size_t symbol = length + 253;
  const unsigned value = distance - 1;
  unsigned cls = 0;
  while ((value >> cls) != 0) ++cls;  // 0 for value 0, else bit length
  if (literalLengths_.at(symbol) == 0 || distanceLengths_.at(cls) == 0)
    throw std::logic_error("copy without a code");
  w_.Put(literalLengths_[symbol], literalCodes_[symbol]);
  w_.Put(distanceLengths_[cls], distanceCodes_[cls]);
  if (cls > 1) w_.Put(cls - 1, value - (1u << (cls - 1)));
}

std::vector<uint8_t> TestEncode(const uint8_t* raw, size_t size) {
  struct Item {
    unsigned length, distance;  // length 1: literal raw[at]
  };
  std::vector<Item> items;
  std::vector<int64_t> last(1 << 16, -1);
  for (size_t at = 0; at < size;) {
    unsigned bestLength = 0, bestDistance = 0;
    if (at + 3 <= size) {
      const uint32_t key = (raw[at] * 251u + raw[at + 1] * 17u + raw[at + 2]) & 0xFFFF;
      for (int64_t candidate : {last[key], static_cast<int64_t>(at) - 1}) {
        if (candidate < 0 || at - candidate > 8192) continue;
        unsigned n = 0;
        while (n < 256 && at + n < size && raw[candidate + n] == raw[at + n]) ++n;
        if (n > bestLength) {
          bestLength = n;
          bestDistance = static_cast<unsigned>(at - candidate);
        }
      }
      last[key] = static_cast<int64_t>(at);
    }
    if (bestLength >= 3) {
      items.push_back({bestLength, bestDistance});
      at += bestLength;
    } else {
      items.push_back({1, 0});
      at += 1;
    }
  }
  // One block; Huffman codes from the symbol counts.
  if (items.size() > 65535) throw std::logic_error("too many codes for one block");
  std::vector<uint32_t> literalCounts(kLiteralSymbols, 0), distanceCounts(kDistanceSymbols, 0);
  size_t at = 0;
  for (const Item& item : items) {
    if (item.length == 1) {
      ++literalCounts[raw[at]];
    } else {
      ++literalCounts[item.length + 253];
      unsigned cls = 0;
      while (((item.distance - 1) >> cls) != 0) ++cls;
      ++distanceCounts[cls];
    }
    at += item.length;
  }
  distanceCounts[0] += 1;  // never an empty distance code
  BitWriter w;
  BlockWriter block(w, HuffmanLengths(literalCounts), HuffmanLengths(distanceCounts));
  block.Header(static_cast<uint16_t>(items.size()));
  at = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].length == 1) {
      block.Literal(raw[at]);
    } else {
      block.Copy(items[i].length, items[i].distance);
    }
    at += items[i].length;
  }
  return w.Finish();
}

std::vector<uint8_t> MakeStream(const std::vector<Chunk>& chunks) {
  std::vector<uint8_t> out(10, 0);
  PutBe16(out, 0, 8);
  PutBe16(out, 4, 0xFFFF);
  PutBe16(out, 6, 1);
  PutBe16(out, 8, static_cast<uint32_t>(chunks.size()));
  PutBe16(out, 2, GetCrc16(out.data() + 4, 6));
  for (const Chunk& c : chunks) {
    const size_t at = out.size();
    out.resize(at + 8 + c.data.size());
    PutBe16(out, at, static_cast<uint32_t>(c.data.size() + 6));
    PutBe16(out, at + 4, 0xFFFF);
    PutBe16(out, at + 6, c.rawLength);
    std::copy(c.data.begin(), c.data.end(), out.begin() + static_cast<ptrdiff_t>(at + 8));
    PutBe16(out, at + 2, GetCrc16(out.data() + at + 4, static_cast<uint32_t>(c.data.size() + 4)));
  }
  return out;
}

std::vector<uint8_t> MakeContainer(const std::vector<uint8_t>& region,
                                   const std::vector<uint8_t>& identity) {
  std::vector<uint8_t> container(131072, 0);
  std::copy(identity.begin(), identity.end(), container.begin());
  size_t at = 6144;
  for (size_t i = 0; i < 48; ++i) {
    const uint8_t* block = region.data() + i * 8192;
    const std::vector<uint8_t> stream = MakeStream({{8192, TestEncode(block, 8192)}});
    if (stream.size() > 8192 || at + stream.size() > container.size())
      throw std::runtime_error("test region does not pack");
    std::copy(stream.begin(), stream.end(), container.begin() + static_cast<ptrdiff_t>(at));
    const size_t d = DescriptorAt(i);
    PutBe16(container, d, GetCrc16(stream.data(), static_cast<uint32_t>(stream.size())));
    PutBe16(container, d + 2, GetCrc16(block, 8192));
    PutBe32(container, d + 4, static_cast<uint32_t>(at));
    PutBe32(container, d + 8, static_cast<uint32_t>(stream.size()));
    PutBe32(container, d + 12, 8192);
    at = (at + stream.size() + 2047) / 2048 * 2048;
  }
  return container;
}

}  // namespace lh5test
