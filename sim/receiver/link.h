// What the receiver's sessions need of a link: send a frame, receive the PC's next frame within
// a time, and the link's shape of a block request. The serial side implements it over a
// pseudo-terminal; a USB side can implement it over its bulk pipes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol.h"

namespace sim {

class Link {
 public:
  enum class Rx { Frame, BadSum, Timeout, Closed };

  virtual ~Link() = default;
  // Sends one frame; `sumDelta` is added to its SUM (a deliberate fault). False when the line
  // failed.
  virtual bool Send(const Frame& frame, uint8_t sumDelta) = 0;
  // The PC's next frame, waiting at most `timeout`.
  virtual Rx Receive(Frame* out, std::chrono::milliseconds timeout) = 0;

  // Largest block one request may ask for.
  virtual size_t MaxBlock() const = 0;
  virtual std::vector<uint8_t> BlockRequestPayload(size_t length, uint32_t offset) const = 0;
  // False when the payload is not a block request of this link.
  virtual bool ParseBlockRequest(const std::vector<uint8_t>& payload, size_t* length,
                                 uint32_t* offset) const = 0;
};

}  // namespace sim
