// The receiver's serial link over the pseudo-terminal: serial frames (one-byte LEN, block
// requests of length (1 byte) and offset (3 bytes)), with optional noise bytes before every
// frame it sends.
#pragma once

#include <random>

#include "pty.h"
#include "receiver/link.h"
#include "receiver/serial_frames.h"

namespace sim {

// Blocks of up to one frame's payload both ways; the receiver announces itself and the PC
// checks every answer.
inline constexpr LinkShape kSerialShape{.maxBlock = kMaxSerialPayload,
                                        .uploadBlock = kMaxSerialPayload};

class SerialLink : public Link {
 public:
  // `noise` bytes (never 'o', so they cannot complete a magic with what follows) go out before
  // every frame.
  // After `hangupAfter` frames (0: never) the line hangs up.
  SerialLink(Pty& pty, size_t noise, uint32_t seed, int hangupAfter = 0)
      : Link(kSerialShape), pty_(pty), noise_(noise), rng_(seed), hangupAfter_(hangupAfter) {}

  bool Send(const Frame& frame, uint8_t sumDelta) override;
  Rx Receive(Frame* out, std::chrono::milliseconds timeout) override;
  std::vector<uint8_t> BlockRequestPayload(size_t length, uint32_t offset) const override;
  bool ParseBlockRequest(const std::vector<uint8_t>& payload, size_t* length,
                         uint32_t* offset) const override;

  // Bytes the PC sent outside frames.
  size_t NoiseReceived() const { return parser_.NoiseBytes(); }
  bool HungUp() const { return hungUp_; }

 private:
  Pty& pty_;
  size_t noise_;
  std::mt19937 rng_;
  SerialFrameParser parser_;
  int hangupAfter_;
  int frames_ = 0;
  bool hungUp_ = false;
};

}  // namespace sim
