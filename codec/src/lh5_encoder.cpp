// The -lh5- block compressor: the LZ77 parse, the item buffer and the coded blocks.
#include "lh5_encoder.h"

namespace codec {
namespace {

constexpr unsigned kThreshold = 3;
constexpr unsigned kCBit = 9;
constexpr unsigned kTBit = 5;
constexpr unsigned kPBit = 4;
constexpr unsigned kFlagRoom = 24;  // a flag byte and eight items of up to three bytes

// Number of significant bits of p (0 for 0).
unsigned BitLength(unsigned p) {
  unsigned c = 0;
  while (p != 0) {
    p >>= 1;
    ++c;
  }
  return c;
}

}  // namespace

size_t Lh5Encoder::CompressChunk(const uint8_t* input, size_t length, uint8_t* out, size_t limit) {
  items_[0] = 0;
  cFreq_.fill(0);
  pFreq_.fill(0);
  itemPos_ = 0;
  flagMask_ = 0;
  bits_.Start(out, limit);
  tree_.Start(input, length);

  while (tree_.Remainder() > 0 && !bits_.Failed()) {
    const unsigned lastLength = tree_.MatchLength();
    const unsigned lastPosition = tree_.MatchPosition();
    tree_.Advance();
    tree_.ClampMatch();
    if (tree_.MatchLength() > lastLength || lastLength < kThreshold) {
      Output(tree_.TextAt(tree_.Pos() - 1), 0);
    } else {
      Output(lastLength + (256 - kThreshold), (tree_.Pos() - lastPosition - 2) & 8191u);
      for (unsigned n = lastLength - 1; n > 0; --n) tree_.Advance();
      tree_.ClampMatch();
    }
  }
  if (!bits_.Failed()) {
    SendBlock();
    bits_.Flush();
  }
  return bits_.Failed() ? 0 : bits_.Position();
}

void Lh5Encoder::Output(unsigned symbol, unsigned distance) {
  flagMask_ >>= 1;
  if (flagMask_ == 0) {
    flagMask_ = 0x80;
    if (itemPos_ >= kItemBufferSize - kFlagRoom) {
      SendBlock();
      if (bits_.Failed()) return;
      itemPos_ = 0;
    }
    flagPos_ = itemPos_++;
    items_[flagPos_] = 0;
  }
  items_[itemPos_++] = static_cast<uint8_t>(symbol);
  ++cFreq_[symbol];
  if (symbol >= 256) {
    items_[flagPos_] = static_cast<uint8_t>(items_[flagPos_] | flagMask_);
    items_[itemPos_++] = static_cast<uint8_t>(distance >> 8);
    items_[itemPos_++] = static_cast<uint8_t>(distance);
    ++pFreq_[BitLength(distance)];
  }
}

unsigned Lh5Encoder::UsedLiteralLengths() const {
  unsigned n = kNC;
  while (n > 0 && cLen_[n - 1] == 0) --n;
  return n;
}

template <typename Emit>
void Lh5Encoder::WalkLiteralLengths(Emit emit) const {
  const unsigned n = UsedLiteralLengths();
  unsigned i = 0;
  while (i < n) {
    const unsigned k = cLen_[i++];
    if (k != 0) {
      emit(k + 2, 0, 0);
      continue;
    }
    // A run of zero lengths: one or two as symbol 0 each, up to 18 as symbol 1 with 4 bits,
    // 19 as both, longer as symbol 2 with kCBit bits.
    unsigned run = 1;
    while (i < n && cLen_[i] == 0) {
      ++i;
      ++run;
    }
    if (run <= 2) {
      for (unsigned c = 0; c < run; ++c) emit(0, 0, 0);
    } else if (run <= 18) {
      emit(1, 4, run - 3);
    } else if (run == 19) {
      emit(0, 0, 0);
      emit(1, 4, 15);
    } else {
      emit(2, kCBit, run - 20);
    }
  }
}

void Lh5Encoder::CountCodeLengthFrequencies() {
  tFreq_.fill(0);
  WalkLiteralLengths([this](unsigned symbol, unsigned, unsigned) { ++tFreq_[symbol]; });
}

void Lh5Encoder::WriteSmallLengths(unsigned nn, unsigned width, int special) {
  unsigned n = nn;
  while (n > 0 && ptLen_[n - 1] == 0) --n;
  bits_.Put(width, n);
  unsigned i = 0;
  while (i < n) {
    const unsigned k = ptLen_[i++];
    if (k <= 6) {
      bits_.Put(3, k);
    } else {
      bits_.Put(k - 3, (1u << (k - 3)) - 2);  // k - 4 one bits and a zero
    }
    if (static_cast<int>(i) == special) {
      while (i < 6 && ptLen_[i] == 0) ++i;
      bits_.Put(2, (i - 3) & 3);
    }
  }
}

void Lh5Encoder::WriteLiteralLengths() {
  bits_.Put(kCBit, UsedLiteralLengths());
  WalkLiteralLengths([this](unsigned symbol, unsigned extraWidth, unsigned extraValue) {
    PutSmallCode(symbol);
    if (extraWidth != 0) bits_.Put(extraWidth, extraValue);
  });
}

void Lh5Encoder::PutDistance(unsigned p) {
  const unsigned c = BitLength(p);
  PutSmallCode(c);
  if (c > 1) bits_.Put(c - 1, p & (0xFFFFu >> (17 - c)));
}

void Lh5Encoder::SendBlock() {
  unsigned root = huffman_.Build(kNC, cFreq_.data(), cLen_.data(), cCode_.data());
  const unsigned size = cFreq_[root];
  bits_.Put(16, size);
  if (root >= kNC) {
    CountCodeLengthFrequencies();
    root = huffman_.Build(kNT, tFreq_.data(), ptLen_.data(), ptCode_.data());
    if (root >= kNT) {
      WriteSmallLengths(kNT, kTBit, 3);
    } else {
      bits_.Put(kTBit, 0);
      bits_.Put(kTBit, root);
    }
    WriteLiteralLengths();
  } else {
    // One symbol (or none): it is coded with zero bits.
    bits_.Put(kTBit, 0);
    bits_.Put(kTBit, 0);
    bits_.Put(kCBit, 0);
    bits_.Put(kCBit, root);
  }
  root = huffman_.Build(kNP, pFreq_.data(), ptLen_.data(), ptCode_.data());
  if (root >= kNP) {
    WriteSmallLengths(kNP, kPBit, -1);
  } else {
    bits_.Put(kPBit, 0);
    bits_.Put(kPBit, root);
  }

  unsigned pos = 0;
  unsigned flags = 0;
  for (unsigned i = 0; i < size && !bits_.Failed(); ++i) {
    if (i % 8 == 0) {
      flags = items_[pos++];
    } else {
      flags <<= 1;
    }
    if (flags & 0x80u) {
      PutCode(items_[pos++] + 256u);
      unsigned p = static_cast<unsigned>(items_[pos++]) << 8;
      p += items_[pos++];
      PutDistance(p);
    } else {
      PutCode(items_[pos++]);
    }
  }
  cFreq_.fill(0);
  pFreq_.fill(0);
}

}  // namespace codec
