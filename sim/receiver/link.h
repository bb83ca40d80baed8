// What the receiver's sessions need of a link: send a frame, receive the PC's next frame within
// a time, its block requests' encoding, and its shape (block sizes, who opens a session). The
// serial side implements it over a pseudo-terminal, the USB side over its bulk pipes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol.h"

namespace sim {

// A link's shape, fixed for its life: the blocks its requests ask for and the PC's habits on it.
struct LinkShape {
  size_t maxBlock = 0;     // largest block one download request may ask for
  size_t uploadBlock = 0;  // the block an upload is due to ask for
  // Serial: the receiver announces itself with CMD_REQUEST and the PC answers. USB: the PC
  // opens the session (CMD_REQUEST for a download, CMD_UP_READY for an upload) and the
  // receiver answers with CMD_DOWN_READY and its identity.
  bool pcOpens = false;
  // Whether the PC stores an upload block answer without checking its PSN, and stores the
  // bytes it asked for of an answer that carries more (USB); otherwise it refuses both.
  bool pcTakesLooseBlockAnswers = false;
};

class Link {
 public:
  enum class Rx { Frame, BadSum, Timeout, Closed };

  explicit Link(const LinkShape& shape) : shape_(shape) {}
  virtual ~Link() = default;
  // Sends one frame; `sumDelta` is added to its SUM (a deliberate fault). False when the line
  // failed.
  virtual bool Send(const Frame& frame, uint8_t sumDelta) = 0;
  // The PC's next frame, waiting at most `timeout`.
  virtual Rx Receive(Frame* out, std::chrono::milliseconds timeout) = 0;

  virtual std::vector<uint8_t> BlockRequestPayload(size_t length, uint32_t offset) const = 0;
  // False when the payload is not a block request of this link.
  virtual bool ParseBlockRequest(const std::vector<uint8_t>& payload, size_t* length,
                                 uint32_t* offset) const = 0;

  const LinkShape& Shape() const { return shape_; }

 private:
  const LinkShape shape_;
};

}  // namespace sim
