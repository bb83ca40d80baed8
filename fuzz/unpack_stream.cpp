// Arbitrary bytes as a packed stream, expanded into a destination of a bounded size: nothing
// is read past the stream or written past the destination, and the count returned fits.
//
// The destination (allocated once, at exactly its size) and the decoder are kept across
// inputs, as the unpack of a packed image keeps one decoder for all its blocks: no input pays
// for 40 KB of fresh pages and a decoder's allocation. Inputs too short for a stream header,
// which cost little, get a decoder of their own, made and destroyed with them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_target.h"
#include "image_layout.h"
#include "unpack.h"

namespace {

// True when the stream was accepted (an empty stream of no chunks is).
bool Expand(const uint8_t* data, size_t size) {
  constexpr size_t kCapacity = 40000;  // room for one full chunk, not for two
  static auto* destination = new uint8_t[kCapacity];
  static codec::Lh5Decoder decoder;
  std::vector<uint8_t> stream(data, data + size);  // exact size, so reads past it are caught
  codec::StreamExpansion result;
  if (size < codec::kStreamHeaderSize) {
    codec::Lh5Decoder own;
    result = codec::ExpandPackedStream(own, stream.data(), stream.size(), destination, kCapacity);
  } else {
    result =
        codec::ExpandPackedStream(decoder, stream.data(), stream.size(), destination, kCapacity);
  }
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
