// Length rules of UsbWrite and UsbRead, and the pair swap of swapped mode.
#include "transfer_plan.h"

namespace hvusb {
namespace {

uint64_t RoundUp(uint64_t value, uint64_t multiple) {
  return (value + multiple - 1) / multiple * multiple;
}

}  // namespace

std::optional<WritePlan> PlanWrite(uint32_t length, uint32_t maxPacket, bool swapped) {
  if (length > kMaxWriteLength || maxPacket == 0) return std::nullopt;
  // Outside swapped mode an odd frame's final byte travels as the first padding byte.
  const uint64_t carried = (!swapped && (length % 2) != 0) ? uint64_t{length} + 1 : length;
  const uint64_t request = RoundUp(carried, maxPacket);
  if (request > kStagingSize) return std::nullopt;
  return WritePlan{static_cast<uint32_t>(request)};
}

std::optional<ReadPlan> PlanRead(uint32_t expected, uint32_t maxPacket) {
  if (maxPacket == 0) return std::nullopt;
  uint64_t n = expected;
  if (n % maxPacket == 0 || (n + 1) % maxPacket == 0) n += 2;
  if (n >= 65538) return std::nullopt;
  const uint64_t request = RoundUp(RoundUp(n, 2), maxPacket);
  if (request > kStagingSize) return std::nullopt;
  return ReadPlan{static_cast<uint32_t>(n), static_cast<uint32_t>(request)};
}

void PairSwap(uint8_t* destination, const uint8_t* source, size_t n) {
  size_t k = 0;
  for (; k + 1 < n; k += 2) {
    destination[k] = source[k + 1];
    destination[k + 1] = source[k];
  }
  if (k < n) destination[k] = source[k + 1];
}

}  // namespace hvusb
