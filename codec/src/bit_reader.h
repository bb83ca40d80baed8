// Most-significant-bit-first reader over a byte string. Bits past the end read as zero, so a
// coded stream that ends early decodes to zero bits instead of reading beyond its bytes.
//
// The buffer holds up to 64 bits, left aligned; Refill() guarantees at least 56 of them, which
// covers one literal/length code, one distance code and its extra bits (at most 44 bits).
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec {

class BitReader {
 public:
  void Start(const uint8_t* data, size_t length) {
    next_ = data;
    end_ = data + length;
    buffer_ = 0;
    count_ = 0;
    Refill();
  }

  // Tops the buffer up to at least 56 valid bits.
  void Refill() {
    if (end_ - next_ >= 8) {
      buffer_ |= LoadBigEndian64(next_) >> count_;
      next_ += (63 - count_) >> 3;
      count_ |= 56;
    } else {
      RefillTail();
    }
  }

  // The next k bits (1 to 32) without consuming them; needs k <= valid bits.
  uint32_t Peek(unsigned k) const { return static_cast<uint32_t>(buffer_ >> (64 - k)); }
  // The whole buffer, next bit in bit 63 (for tree walks below a lookup).
  uint64_t Buffer() const { return buffer_; }
  // Consumes k bits (0 to 32); needs k <= valid bits.
  void Skip(unsigned k) {
    buffer_ <<= k;
    count_ -= k;
  }
  // Reads k bits (0 to 32), refilling when needed.
  uint32_t Take(unsigned k) {
    if (k == 0) return 0;
    if (count_ < k) Refill();
    const uint32_t value = Peek(k);
    Skip(k);
    return value;
  }

 private:
  static uint64_t LoadBigEndian64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
  }

  // Near the end: byte by byte, zero bytes past it.
  void RefillTail() {
    while (count_ <= 56) {
      const uint64_t byte = next_ < end_ ? *next_++ : 0;
      buffer_ |= byte << (56 - count_);
      count_ += 8;
    }
  }

  const uint8_t* next_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t buffer_ = 0;
  unsigned count_ = 0;  // valid bits at the top of buffer_
};

}  // namespace codec
