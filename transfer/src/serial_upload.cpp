// The serial upload: after the receiver's request the PC asks for the size of the flash image
// and of the EEPROM image and fetches each in blocks of at most 255 bytes.
#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "PenwickHelpers.h"
#include "image_layout.h"
#include "library_state.h"
#include "notifications.h"
#include "serial_session.h"

namespace transfer {
namespace {

constexpr int kTries = 3;
constexpr int kStepDone = 0;
constexpr int kStepStopped = -1;  // the session stopped, or an answer never came
constexpr int kStepFailed = -3;
constexpr int kStepBadType = -6;

class UploadSteps {
 public:
  explicit UploadSteps(SerialSession& session) : session_(session) {}

  // Fetches the image of type `type` into its store.
  int Run(uint8_t type) {
    session_.SetUploadPercent(-1);
    uint32_t size = 0;
    const int sized = QuerySize(type, size);
    if (sized != kStepDone) return sized;
    // An announced size the store cannot hold would write past it.
    const size_t capacity = type == TYPE_FLASH    ? codec::kContainerSize
                            : type == TYPE_EEPROM ? codec::kEepromSize
                                                  : size;
    if (size > capacity) return kStepFailed;
    for (uint32_t offset = 0; offset < size;) {
      if (!session_.Running()) return kStepStopped;
      const auto chunk = static_cast<uint8_t>(std::min<uint32_t>(255, size - offset));
      const int fetched = FetchBlock(offset, chunk);
      if (fetched != kStepDone) return fetched;
      if (type == TYPE_EEPROM) {
        Stores().WriteEeprom(offset, frame_.data() + kFramePayload, chunk);
      } else if (type == TYPE_FLASH) {
        Stores().WritePacked(offset, frame_.data() + kFramePayload, chunk);
      } else {
        session_.Notify(NL_NOTIFY_BAD_DATA_TYPE, 0);
        return kStepBadType;
      }
      offset += chunk;
      const auto percent = static_cast<int>(offset * 100u / size);
      session_.SetUploadPercent(percent);
      session_.Notify(
          type == TYPE_EEPROM ? NL_NOTIFY_UP_EEPROM_PERCENT : NL_NOTIFY_UP_FLASH_PERCENT, percent);
    }
    return kStepDone;
  }

 private:
  uint8_t NextPsn() { return static_cast<uint8_t>(Session().serialSequence.fetch_add(1) + 1); }

  int QuerySize(uint8_t type, uint32_t& size) {
    for (int attempt = 0; attempt < kTries; ++attempt) {
      const uint8_t psn = NextPsn();
      if (session_.SendFrame(psn, CMD_SIZE_REQ, &type, 1) != 0) continue;
      const int answer = AwaitAnswer();
      if (answer == kStepStopped) return kStepStopped;
      if (answer != kRxFrame) continue;
      if (frame_[kFramePsn] != psn || frame_[kFrameCmd] != CMD_SIZE ||
          frame_[kFrameLen] < kSizeAnswerPayload)
        continue;
      size = Get24bit(frame_.data() + kFramePayload);
      return size == 0 ? kStepFailed : kStepDone;
    }
    return kStepFailed;
  }

  int FetchBlock(uint32_t offset, uint8_t chunk) {
    for (int attempt = 0; attempt < kTries; ++attempt) {
      const uint8_t psn = NextPsn();
      uint8_t request[4] = {chunk};
      Put24bit(request + 1, offset);
      if (session_.SendFrame(psn, CMD_BLOCK_REQ, request, sizeof request) != 0) continue;
      const int answer = AwaitAnswer();
      if (answer == kStepStopped) return kStepStopped;
      if (answer != kRxFrame) continue;
      if (frame_[kFramePsn] == psn && frame_[kFrameCmd] == CMD_BLOCK && frame_[kFrameLen] == chunk)
        return kStepDone;
    }
    return kStepFailed;
  }

  // Waits for the next frame: kRxFrame or kRxBadSum, or kStepStopped when the session stops
  // or nothing comes within the answer wait.
  int AwaitAnswer() {
    const auto deadline = std::chrono::steady_clock::now() + AnswerWait();
    for (;;) {
      if (!session_.Running()) return kStepStopped;
      const int received = RxPacket_Upload(session_.Receiver(), frame_.data());
      if (received == kRxFrame || received == kRxBadSum) return received;
      if (std::chrono::steady_clock::now() >= deadline) return kStepStopped;
      session_.WaitForBytes(deadline);
    }
  }

  SerialSession& session_;
  std::array<uint8_t, kSerialFrameBuffer> frame_{};
};

// Waits for the receiver's CMD_REQUEST and answers it; false when the session stops first.
bool AwaitRequest(SerialSession& session) {
  std::array<uint8_t, kSerialFrameBuffer> frame{};
  while (session.Running()) {
    const int received = RxPacket_Upload(session.Receiver(), frame.data());
    if (received == kRxNone) session.WaitForBytes();
    if (received != kRxFrame || frame[kFrameCmd] != CMD_REQUEST ||
        frame[kFrameLen] < kRequestPayload)
      continue;
    const uint8_t psn = frame[kFramePsn];
    Session().serialSequence.store(psn);
    Stores().PutSystemId(Get16bit(frame.data() + kFramePayload));
    Stores().PutIdentity(frame.data() + kFramePayload + 2);
    session.SendFrame(psn, CMD_UP_READY);
    return true;
  }
  return false;
}

}  // namespace

void SerialUploadWorker(SerialSession& session) {
  // The guard holds this worker's token, so a worker of an earlier session can never clear
  // the guard of a later one.
  uint32_t idle = 0;
  if (!Session().serialUploadGuard.compare_exchange_strong(idle, session.token())) return;
  const auto releaseGuard = [&session] {
    uint32_t mine = session.token();
    Session().serialUploadGuard.compare_exchange_strong(mine, 0);
  };
  if (!AwaitRequest(session)) {
    releaseGuard();
    return;
  }
  UploadSteps steps(session);
  bool succeeded = steps.Run(TYPE_FLASH) == kStepDone && steps.Run(TYPE_EEPROM) == kStepDone;
  if (succeeded) session.Succeed();
  const auto psn = static_cast<uint8_t>(Session().serialSequence.fetch_add(1) + 1);
  session.SendFrame(psn, CMD_END);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  session.Complete(succeeded ? NL_SERIAL_UP_DONE : NL_SERIAL_UP_FAILED);
  releaseGuard();
}

}  // namespace transfer
