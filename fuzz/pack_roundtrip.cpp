// Arbitrary bytes through PackHvp twice (the two streams must be identical: the output depends
// only on the input) and back through UnpackHvp, which must give the input again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_target.h"
#include "pack.h"
#include "unpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 200000) return 0;
  const size_t capacity = 10 + size + (size / 32762 + 1) * 8;
  std::vector<uint8_t> first(capacity);
  std::vector<uint8_t> second(capacity);
  uint32_t firstLength = 0;
  uint32_t secondLength = 0;
  if (codec::PackHvp(data, size, first.data(), capacity, &firstLength) != 1) std::abort();
  if (codec::PackHvp(data, size, second.data(), capacity, &secondLength) != 1) std::abort();
  if (firstLength != secondLength || firstLength > capacity) std::abort();
  if (std::memcmp(first.data(), second.data(), firstLength) != 0) std::abort();

  std::vector<uint8_t> back(size);
  if (codec::UnpackHvp(first.data(), firstLength, back.data(), back.size()) != size) std::abort();
  if (std::memcmp(back.data(), data, size) != 0) std::abort();
  return 0;
}
