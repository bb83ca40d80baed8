// Frame sums, the pair swap and the serial frame receivers.
#include "frames.h"

#include <utility>

namespace transfer {

uint8_t FrameSum(const uint8_t* data, size_t length) {
  unsigned sum = 0;
  for (size_t i = 0; i < length; ++i) sum += data[i];
  return static_cast<uint8_t>(sum);
}

void PairSwap(uint8_t* buffer, size_t count) {
  if (buffer == nullptr || count == 0) return;
  for (size_t k = 0; 2 * k < count; ++k) std::swap(buffer[2 * k], buffer[2 * k + 1]);
}

}  // namespace transfer
