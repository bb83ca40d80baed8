// A zeroed buffer of a fixed size kept across inputs, which each input refills: its bytes at an
// offset, zeros everywhere else. Only what earlier inputs wrote is cleared again, since a fresh
// zeroed buffer of a hundred kilobytes for every input costs more in page faults than the code
// under test. Its capacity is its size, so AddressSanitizer still sees a read past its end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzz {

class KeptBuffer {
 public:
  explicit KeptBuffer(size_t size) : bytes_(size, 0) {}

  // Copies `data` (cut to fit) to `offset`. The first `touched` bytes may be changed after the
  // copy (by the target fixing checks, or by the code under test rewriting them in place); they
  // are cleared before the next input, as is everything earlier inputs copied.
  void Fill(size_t offset, const uint8_t* data, size_t size, size_t touched) {
    const size_t copied = std::min(size, bytes_.size() - offset);
    std::copy_n(data, copied, bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    const size_t end = offset + copied;
    if (dirty_ > end) {
      std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(end),
                bytes_.begin() + static_cast<std::ptrdiff_t>(dirty_), 0);
    }
    dirty_ = std::max(end, touched);
  }

  uint8_t* data() { return bytes_.data(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t dirty_ = 0;  // bytes from the start that an earlier input may have left non-zero
};

}  // namespace fuzz
