// Arbitrary bytes packed twice, once by PackHvp with fresh work areas and once with work areas
// kept across inputs (the two streams must be identical: the output depends only on the input,
// not on what the work areas packed before), and back through UnpackHvp, which must give the
// input again. Keeping the second work areas saves an allocation of about 250 KB per input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_target.h"
#include "pack.h"
#include "packed_stream.h"
#include "unpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<codec::PackWork> kept = codec::NewPackWork();
  if (!kept) std::abort();
  if (size == 0 || size > 200000) return 0;
  const size_t capacity = 10 + size + (size / 32762 + 1) * 8;
  std::vector<uint8_t> first(capacity);
  std::vector<uint8_t> second(capacity);
  uint32_t firstLength = 0;
  uint32_t secondLength = 0;
  if (codec::PackHvp(data, size, first.data(), capacity, &firstLength) != 1) std::abort();
  if (!codec::PackStream(*kept, data, size, second.data(), capacity, &secondLength)) std::abort();
  if (firstLength != secondLength || firstLength > capacity) std::abort();
  if (std::memcmp(first.data(), second.data(), firstLength) != 0) std::abort();

  std::vector<uint8_t> back(size);
  if (codec::UnpackHvp(first.data(), firstLength, back.data(), back.size()) != size) std::abort();
  if (std::memcmp(back.data(), data, size) != 0) std::abort();
  return 0;
}
