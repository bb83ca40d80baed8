// The USB upload: for the flash image and then the EEPROM image the PC asks for the size and
// fetches the image in blocks of at most 65280 bytes, then ends with CMD_END.
#include "usb_upload.h"

#include <algorithm>
#include <vector>

#include "PenwickHelpers.h"
#include "frames.h"
#include "image_layout.h"
#include "library_state.h"
#include "notifications.h"
#include "usb_frames.h"
#include "usb_session.h"

namespace transfer {

BlockAnswer JudgeBlockAnswer(int received, const uint8_t* frame, uint32_t chunk) {
  if (received != kRxFrame) return BlockAnswer::FailedRead;
  if (frame[kUsbFrameCmd] != CMD_BLOCK) return BlockAnswer::WrongCommand;
  // A short block would leave part of the chunk unfilled: it counts as a failed read.
  if (Get16bit(frame + kUsbFrameLen) < chunk) return BlockAnswer::FailedRead;
  return BlockAnswer::Stored;
}

uint32_t StoreCapacity(uint8_t type) {
  return type == TYPE_FLASH ? codec::kContainerSize : type == TYPE_EEPROM ? codec::kEepromSize : 0;
}

bool StoreBlock(uint8_t type, uint32_t offset, const uint8_t* frame, uint32_t chunk) {
  const uint8_t* data = frame + kUsbFramePayload;
  if (type == TYPE_FLASH) {
    Stores().WritePacked(offset, data, chunk);
  } else if (type == TYPE_EEPROM) {
    Stores().WriteEeprom(offset, data, chunk);
  } else {
    return false;
  }
  return true;
}

namespace {

// A receiver that keeps answering one block with another command is confused; it must not
// keep the upload going for ever.
constexpr int kMaxWrongCommands = 100;

class UsbUploadSteps {
 public:
  explicit UsbUploadSteps(const UsbSession& session) : session_(session), frame_(kUsbFrameBuffer) {}

  // Fetches the image of `type` into its store; false when the upload must end with a failure.
  bool Fetch(uint8_t type) {
    uint32_t size = 0;
    if (!QuerySize(type, size)) return false;
    // An announced size the store cannot hold would write past it.
    if (size > StoreCapacity(type)) return false;
    int wrongCommands = 0;
    for (uint32_t offset = 0; offset < size;) {
      if (session_.Cancelled()) return false;
      const uint32_t chunk = std::min(kMaxUsbUploadBlock, size - offset);
      uint8_t request[5];
      Put16bit(request, static_cast<uint16_t>(chunk));
      Put24bit(request + 2, offset);
      UsbSendFrame(UsbSession::NextPsn(), CMD_BLOCK_REQ, request, sizeof request);
      if (session_.Cancelled()) return false;
      const int received = UsbRecvFrame(frame_.data());
      if (received == kRxFrame && session_.Cancelled()) return false;
      switch (JudgeBlockAnswer(received, frame_.data(), chunk)) {
        case BlockAnswer::FailedRead:
          if (session_.FailedRead()) return false;
          continue;
        case BlockAnswer::WrongCommand:
          if (++wrongCommands >= kMaxWrongCommands) return false;
          continue;
        case BlockAnswer::Stored:
          break;
      }
      session_.ClearFailures();
      wrongCommands = 0;
      StoreBlock(type, offset, frame_.data(), chunk);
      offset += chunk;
      const auto percent = static_cast<int>(static_cast<uint64_t>(offset) * 100 / size);
      session_.SetUploadPercent(percent);
      session_.Notify(
          type == TYPE_EEPROM ? NL_NOTIFY_UP_EEPROM_PERCENT : NL_NOTIFY_UP_FLASH_PERCENT, percent);
    }
    return true;
  }

 private:
  bool QuerySize(uint8_t type, uint32_t& size) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      const uint8_t psn = UsbSession::NextPsn();
      UsbSendFrame(psn, CMD_SIZE_REQ, &type, 1);
      if (UsbRecvFrame(frame_.data()) != kRxFrame) continue;
      if (frame_[kUsbFramePsn] != psn || frame_[kUsbFrameCmd] != CMD_SIZE ||
          Get16bit(frame_.data() + kUsbFrameLen) < kSizeAnswerPayload)
        continue;
      size = Get24bit(frame_.data() + kUsbFramePayload);
      return true;
    }
    return false;
  }

  const UsbSession& session_;
  std::vector<uint8_t> frame_;
};

}  // namespace

void UsbUploadWorker(const UsbSession& session) {
  session.ClearFailures();
  UsbUploadSteps steps(session);
  const bool succeeded = steps.Fetch(TYPE_FLASH) && steps.Fetch(TYPE_EEPROM);
  if (succeeded) {
    UsbSendFrame(UsbSession::NextPsn(), CMD_END);
    session.Succeed();
  }
  session.ClearFailures();
  session.Finish(std::chrono::milliseconds(300), succeeded ? NL_USB_UP_DONE : NL_USB_UP_FAILED);
}

}  // namespace transfer
