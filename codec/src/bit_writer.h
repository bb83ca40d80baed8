// Bit writer of the -lh5- encoder: bits go out most significant first through an 8-bit holding
// byte. Writing stops at a fixed limit; once it has been reached every later write is refused
// and the writer stays failed, so a coded chunk that would be as long as its raw bytes is
// given up (and stored instead) without touching memory beyond the limit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec {

class BitWriter {
 public:
  void Start(uint8_t* out, size_t limit) {
    out_ = out;
    limit_ = limit;
    position_ = 0;
    holding_ = 0;
    free_ = 8;
    failed_ = false;
  }

  // Writes the low `count` bits of `value` (count <= 16).
  void Put(unsigned count, unsigned value) {
    value &= (1u << count) - 1u;
    if (count < free_) {
      free_ -= count;
      holding_ = static_cast<uint8_t>(holding_ | (value << free_));
      return;
    }
    count -= free_;
    Emit(static_cast<uint8_t>(holding_ | (value >> count)));
    if (count < 8) {
      free_ = 8 - count;
      holding_ = static_cast<uint8_t>(value << free_);
    } else {
      Emit(static_cast<uint8_t>(value >> (count - 8)));
      free_ = 16 - count;
      holding_ = static_cast<uint8_t>(value << free_);
    }
  }

  // Emits the last partial byte, if bits are pending (unused low bits are 0).
  void Flush() { Put(7, 0); }

  bool Failed() const { return failed_; }
  size_t Position() const { return position_; }

 private:
  void Emit(uint8_t byte) {
    if (position_ >= limit_) {
      failed_ = true;
      return;
    }
    out_[position_++] = byte;
  }

  uint8_t* out_ = nullptr;
  size_t limit_ = 0;
  size_t position_ = 0;
  uint8_t holding_ = 0;
  unsigned free_ = 8;
  bool failed_ = false;
};

}  // namespace codec
