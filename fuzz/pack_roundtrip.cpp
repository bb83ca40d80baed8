// Arbitrary bytes packed twice, once with fresh work areas and once with work areas kept
// across inputs (the two streams must be identical: the output depends only on the input, not
// on what the work areas packed before), and back through UnpackHvp, which must give the input
// again.
//
// Fresh work areas are zeroed in place, as NewPackWork makes them, in memory kept across
// inputs: a new allocation of their 250 KB costs more than packing a small input (every page
// of it is mapped and faulted in afresh). PackHvp itself, which allocates its own, packs the
// inputs of at most 64 bytes; its refusal when no work areas can be had is checked on every
// input, without an allocation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "codec_hooks.h"
#include "fuzz_target.h"
#include "pack.h"
#include "packed_stream.h"
#include "unpack.h"

namespace {

constexpr size_t kPackHvpInputs = 64;  // inputs up to this size go through PackHvp itself

// Zeroed work areas, as NewPackWork makes them, in the same memory every time.
codec::PackWork& FreshWork() {
  static auto* storage = static_cast<codec::PackWork*>(::operator new(sizeof(codec::PackWork)));
  static bool built = false;
  if (built) storage->~PackWork();
  new (storage) codec::PackWork();
  built = true;
  return *storage;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<codec::PackWork> kept = codec::NewPackWork();
  if (!kept) std::abort();
  if (size == 0 || size > 200000) return 0;
  const size_t capacity = 10 + size + (size / 32762 + 1) * 8;
  std::vector<uint8_t> first(capacity);
  std::vector<uint8_t> second(capacity);
  uint32_t firstLength = 0;
  uint32_t secondLength = 0;
  codec::SetNoticeHook([](const char*) {});  // the refusal's notice box
  codec::FailPackWorkAllocationForTest(true);
  if (codec::PackHvp(data, size, first.data(), capacity, &firstLength) != 0) std::abort();
  codec::FailPackWorkAllocationForTest(false);
  if (size <= kPackHvpInputs) {
    if (codec::PackHvp(data, size, first.data(), capacity, &firstLength) != 1) std::abort();
  } else if (!codec::PackStream(FreshWork(), data, size, first.data(), capacity, &firstLength)) {
    std::abort();
  }
  if (!codec::PackStream(*kept, data, size, second.data(), capacity, &secondLength)) std::abort();
  if (firstLength != secondLength || firstLength > capacity) std::abort();
  if (std::memcmp(first.data(), second.data(), firstLength) != 0) std::abort();

  std::vector<uint8_t> back(size);
  if (codec::UnpackHvp(first.data(), firstLength, back.data(), back.size()) != size) std::abort();
  if (std::memcmp(back.data(), data, size) != 0) std::abort();
  return 0;
}
