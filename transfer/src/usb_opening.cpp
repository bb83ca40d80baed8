#include "usb_opening.h"

#include <cstring>

#include "HvUsb.h"
#include "PenwickHelpers.h"
#include "frames.h"
#include "library_state.h"
#include "usb_frames.h"

namespace transfer {

namespace {

constexpr uint32_t kIdentityPayload = 34;  // system id (2) and identity block (32)

}  // namespace

std::optional<OpeningAnswer> CheckOpeningAnswer(const uint8_t* received, uint32_t count) {
  if (count < kUsbFrameOverhead) return std::nullopt;
  const uint8_t* frame = received + 4;
  const uint32_t length = Get16bit(frame + kUsbFrameLen);
  if (length < kIdentityPayload || count < length + kUsbFrameOverhead) return std::nullopt;
  if (std::memcmp(received, kMagic, sizeof kMagic) != 0) return std::nullopt;
  if (FrameSum(frame, length + 4) != frame[length + 4]) return std::nullopt;
  if (frame[kUsbFrameCmd] != CMD_DOWN_READY) return std::nullopt;
  OpeningAnswer answer;
  answer.systemId = Get16bit(frame + kUsbFramePayload);
  std::memcpy(answer.identity.data(), frame + kUsbFramePayload + 2, answer.identity.size());
  return answer;
}

std::optional<OpeningAnswer> RunOpening(uint8_t cmd) {
  if (UsbSendFrame(0, cmd) == 0) return std::nullopt;
  uint8_t* rx = UsbReceiveBuffer();
  const uint32_t count = UsbRead(rx, kOpeningAnswerRead);
  PairSwap(rx, count);
  const auto answer = CheckOpeningAnswer(rx, count);
  if (!answer) return std::nullopt;
  Stores().PutSystemId(answer->systemId);
  Stores().PutIdentity(answer->identity.data());
  return answer;
}

}  // namespace transfer
