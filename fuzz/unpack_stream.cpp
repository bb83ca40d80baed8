// Arbitrary bytes as a packed stream, expanded into a destination of a bounded size: nothing
// is read past the stream or written past the destination, and the count returned fits.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "unpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kCapacity = 40000;              // room for one full chunk, not for two
  std::vector<uint8_t> stream(data, data + size);  // exact size, so reads past it are caught
  std::vector<uint8_t> destination(kCapacity);
  const uint32_t written =
      codec::UnpackHvp(stream.data(), stream.size(), destination.data(), destination.size());
  if (written > kCapacity) __builtin_trap();
  return 0;
}
