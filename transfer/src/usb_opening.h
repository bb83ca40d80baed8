// The USB opening exchange, on the caller's thread: the PC sends the opening frame of a
// download (CMD_REQUEST) or an upload (CMD_UP_READY) and the receiver answers with
// CMD_DOWN_READY carrying its system id and identity block.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace transfer {

// The longest answer the opening reads.
inline constexpr uint32_t kOpeningAnswerRead = 2071;

struct OpeningAnswer {
  uint16_t systemId = 0;
  std::array<uint8_t, 32> identity{};
};

// Checks `count` received bytes (pair-swapped back) as the answer to an opening: the magic,
// a LEN of at least 34 that the count covers (padding after it is allowed), the SUM and
// CMD_DOWN_READY. Reads nothing beyond `count`.
std::optional<OpeningAnswer> CheckOpeningAnswer(const uint8_t* received, uint32_t count);

// Sends the opening frame with `cmd`, reads and checks the answer and stores the receiver's
// system id and identity. Nothing when the frame is not written or the answer fails a check.
std::optional<OpeningAnswer> RunOpening(uint8_t cmd);

}  // namespace transfer
