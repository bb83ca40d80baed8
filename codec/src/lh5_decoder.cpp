// The -lh5- chunk decoder: block headers, code lengths, literals and copies in the window.
#include "lh5_decoder.h"

#include <algorithm>
#include <cstring>

#include "lh5_decoder_state.h"

namespace codec {
namespace {

constexpr size_t kWindowMask = kWindowSize - 1;
constexpr unsigned kLiteralCountBits = 9;     // CBIT
constexpr unsigned kCodeLengthCountBits = 5;  // TBIT
constexpr unsigned kDistanceCountBits = 4;    // PBIT
constexpr unsigned kNoSpecial = ~0u;
// A code length of 7 or more is written as 7 followed by one 1 bit per extra unit and a 0;
// at most 13 extra bits are counted, as a 16-bit bit buffer sees them.
constexpr unsigned kMaxExtraOnes = 13;

}  // namespace

Lh5Decoder::Lh5Decoder() : state_(std::make_unique<Lh5DecoderState>()) {}
Lh5Decoder::~Lh5Decoder() = default;

bool Lh5Decoder::ExpandChunk(uint8_t* out, size_t rawLength, const uint8_t* data,
                             size_t dataLength) {
  return state_->ExpandChunk(out, rawLength, data, dataLength);
}

bool Lh5DecoderState::ExpandChunk(uint8_t* out, size_t rawLength, const uint8_t* data,
                                  size_t dataLength) {
  if (dataLength == rawLength) {
    std::memcpy(out, data, rawLength);
    return true;
  }
  return ExpandCoded(out, rawLength, data, dataLength);
}

bool Lh5DecoderState::ExpandCoded(uint8_t* out, size_t rawLength, const uint8_t* data,
                                  size_t dataLength) {
  bits_.Start(data, dataLength);
  codesLeft_ = 0;
  pendingLength_ = 0;
  pendingSource_ = 0;
  window_.fill(0);  // copies reaching before the chunk's first byte read zeros
  while (rawLength > 0) {
    const size_t count = std::min(rawLength, kWindowSize);
    if (!FillSegment(count)) return false;
    std::memcpy(out, window_.data(), count);
    out += count;
    rawLength -= count;
  }
  return true;
}

inline unsigned Lh5DecoderState::DecodeLiteral(BitReader& bits) const {
  unsigned length = 0;
  const unsigned symbol = literal_.Decode(bits.Buffer(), length);
  bits.Skip(length);
  return symbol;
}

// The distance back from the next byte, minus one (0 repeats the previous byte).
inline unsigned Lh5DecoderState::DecodeDistance(BitReader& bits) const {
  unsigned length = 0;
  const unsigned classIndex = small_.Decode(bits.Buffer(), length);
  bits.Skip(length);
  if (classIndex == 0) return 0;
  return (1u << (classIndex - 1)) + bits.Take(classIndex - 1);
}

// Fills window[0 .. count-1]; a copy that runs past the end stays pending for the next segment.
bool Lh5DecoderState::FillSegment(size_t count) {
  uint8_t* const window = window_.data();
  size_t w = 0;
  while (pendingLength_ > 0 && w < count) {
    window[w++] = window[pendingSource_];
    pendingSource_ = (pendingSource_ + 1) & kWindowMask;
    --pendingLength_;
  }
  // The bit reader and code count live in locals here: the byte stores into the window could
  // alias the members and would force them back to memory after every byte.
  BitReader bits = bits_;
  uint16_t codesLeft = codesLeft_;
  while (w < count) {
    if (codesLeft == 0) {
      bits_ = bits;
      if (!ReadBlockHeader()) return false;
      bits = bits_;
      codesLeft = codesLeft_;
    }
    --codesLeft;
    bits.Refill();
    const unsigned symbol = DecodeLiteral(bits);
    if (symbol < 256) {
      window[w++] = static_cast<uint8_t>(symbol);
      continue;
    }
    size_t length = symbol - 256 + kMinCopy;
    const size_t distance = DecodeDistance(bits) + 1;  // 1 to 8192
    const size_t room = count - w;
    if (length > room) {
      pendingLength_ = length - room;
      pendingSource_ = (w - distance + room) & kWindowMask;
      length = room;
    }
    CopyInWindow(w, distance, length);
    w += length;
  }
  bits_ = bits;
  codesLeft_ = codesLeft;
  return true;
}

// Byte-by-byte copy semantics (an overlapping copy repeats the bytes it has just written),
// with fast paths for the common shapes.
void Lh5DecoderState::CopyInWindow(size_t to, size_t distance, size_t length) {
  uint8_t* const window = window_.data();
  size_t from = (to - distance) & kWindowMask;
  if (distance == 1) {
    std::memset(window + to, window[from], length);
    return;
  }
  if (from + length <= kWindowSize) {
    if (from > to || distance >= length) {
      // From the previous segment's bytes ahead of `to`, or no overlap: plain move.
      std::memmove(window + to, window + from, length);
      return;
    }
    if (distance >= 8) {
      // A repeating pattern: copy it a period at a time.
      while (length > 0) {
        const size_t n = std::min(length, distance);
        std::memcpy(window + to, window + to - distance, n);
        to += n;
        length -= n;
      }
      return;
    }
  }
  while (length-- > 0) {
    window[to++] = window[from];
    from = (from + 1) & kWindowMask;
  }
}

bool Lh5DecoderState::ReadBlockHeader() {
  codesLeft_ = static_cast<uint16_t>(bits_.Take(16));
  return ReadSmallLengths(kCodeLengthSymbols, kCodeLengthCountBits, 3) && ReadLiteralLengths() &&
         ReadSmallLengths(kDistanceSymbols, kDistanceCountBits, kNoSpecial);
}

// Lengths of the code-length code or the distance code. After `special` lengths, a 2-bit count
// of further zero lengths follows.
bool Lh5DecoderState::ReadSmallLengths(unsigned symbols, unsigned countBits, unsigned special) {
  const unsigned used = bits_.Take(countBits);
  if (used == 0) {
    const unsigned only = bits_.Take(countBits);
    if (only >= symbols) return false;
    small_.SetSingle(symbols, static_cast<uint16_t>(only));
    return true;
  }
  if (used > symbols) return false;
  auto& lengths = small_.lengths;
  unsigned i = 0;
  while (i < used) {
    bits_.Refill();
    unsigned length = bits_.Peek(3);
    if (length == 7) {
      uint64_t mask = uint64_t{1} << 60;
      const uint64_t buffer = bits_.Buffer();
      for (unsigned n = 0; n < kMaxExtraOnes && (buffer & mask); ++n, mask >>= 1) ++length;
      bits_.Skip(length - 3);
    } else {
      bits_.Skip(3);
    }
    lengths[i++] = static_cast<uint8_t>(std::min(length, 255u));
    if (i == special) {
      for (unsigned zeros = bits_.Take(2); zeros > 0 && i < symbols; --zeros) lengths[i++] = 0;
    }
  }
  std::fill(lengths.begin() + i, lengths.begin() + symbols, uint8_t{0});
  return small_.Build(symbols);
}

bool Lh5DecoderState::ReadLiteralLengths() {
  const unsigned used = bits_.Take(kLiteralCountBits);
  if (used == 0) {
    const unsigned only = bits_.Take(kLiteralCountBits);
    if (only >= kLiteralSymbols) return false;
    literal_.SetSingle(kLiteralSymbols, static_cast<uint16_t>(only));
    return true;
  }
  if (used > kLiteralSymbols) return false;
  auto& lengths = literal_.lengths;
  unsigned i = 0;
  while (i < used) {
    bits_.Refill();
    unsigned codeLength = 0;
    const unsigned x = small_.Decode(bits_.Buffer(), codeLength);
    bits_.Skip(codeLength);
    if (x > 2) {
      lengths[i++] = static_cast<uint8_t>(x - 2);
      continue;
    }
    const unsigned zeros = x == 0 ? 1 : x == 1 ? bits_.Take(4) + 3 : bits_.Take(9) + 20;
    if (zeros > kLiteralSymbols - i) return false;  // a run of zero lengths past the alphabet
    std::fill(lengths.begin() + i, lengths.begin() + i + zeros, uint8_t{0});
    i += zeros;
  }
  std::fill(lengths.begin() + i, lengths.end(), uint8_t{0});
  return literal_.Build(kLiteralSymbols);
}

}  // namespace codec
