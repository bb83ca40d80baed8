// Frames of the serial line: "HaVo", PSN, CMD, LEN (one byte), payload, SUM (the 8-bit sum of
// PSN, CMD, LEN and the payload).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "protocol.h"

namespace sim {

inline constexpr uint8_t kMagic[4] = {'H', 'a', 'V', 'o'};
inline constexpr size_t kMaxSerialPayload = 255;

// The bytes of a frame on the line; `sumDelta` is added to the SUM (a deliberate fault).
// The payload must not exceed 255 bytes.
std::vector<uint8_t> EncodeSerialFrame(const Frame& frame, uint8_t sumDelta = 0);

// Splits the bytes arriving from the PC into frames. A frame starts only at the exact bytes
// "HaVo"; anything else before it is noise and counted. A frame whose SUM does not match is
// reported as bad and its bytes are dropped.
class SerialFrameParser {
 public:
  enum class Kind { Good, BadSum };
  struct Result {
    Kind kind;
    Frame frame;
  };

  void Feed(const uint8_t* data, size_t size);
  // The next complete frame, if any.
  std::optional<Result> Next();
  // Bytes skipped outside frames so far.
  size_t NoiseBytes() const { return noise_; }
  // Bytes held for a frame not yet complete.
  size_t Pending() const { return buffer_.size() - start_; }

 private:
  std::vector<uint8_t> buffer_;
  size_t start_ = 0;  // first byte not yet consumed
  size_t noise_ = 0;
};

}  // namespace sim
