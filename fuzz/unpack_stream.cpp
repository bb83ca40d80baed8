// Arbitrary bytes as a packed stream, expanded into a destination of a bounded size: nothing
// is read past the stream or written past the destination, and the count returned fits.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_target.h"
#include "unpack.h"

namespace {

// True when the stream was accepted (an empty stream of no chunks is).
bool Expand(const uint8_t* data, size_t size) {
  constexpr size_t kCapacity = 40000;              // room for one full chunk, not for two
  std::vector<uint8_t> stream(data, data + size);  // exact size, so reads past it are caught
  std::vector<uint8_t> destination(kCapacity);
  codec::Lh5Decoder decoder;
  const codec::StreamExpansion result = codec::ExpandPackedStream(
      decoder, stream.data(), stream.size(), destination.data(), destination.size());
  if (result.rawBytes > kCapacity) __builtin_trap();
  return result.accepted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Expand(data, size);
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return !Expand(data, size);
}
