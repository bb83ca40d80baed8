// The "HaVo" frames of the serial line and of USB: command codes, data types, the 8-bit sum,
// the pair swap of USB transfers, and the serial frame receivers.
//
// Serial frame: "HaVo", PSN, CMD, LEN (1 byte), LEN payload bytes, SUM over PSN..payload.
// USB frame:    "HaVo", PSN, CMD, LEN (2 bytes, big-endian), payload, SUM over PSN..payload.
// Frame buffers hold the part from PSN on.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "byte_queue.h"

namespace transfer {

inline constexpr uint8_t kMagic[4] = {'H', 'a', 'V', 'o'};

inline constexpr uint8_t CMD_REQUEST = 1;
inline constexpr uint8_t CMD_DOWN_READY = 2;
inline constexpr uint8_t CMD_UP_READY = 3;
inline constexpr uint8_t CMD_BLOCK_REQ = 4;
inline constexpr uint8_t CMD_BLOCK = 5;
inline constexpr uint8_t CMD_END = 6;
inline constexpr uint8_t CMD_SIZE_REQ = 7;
inline constexpr uint8_t CMD_SIZE = 8;
inline constexpr uint8_t CMD_REBOOT = 11;

inline constexpr uint8_t TYPE_FLASH = 2;
inline constexpr uint8_t TYPE_EEPROM = 3;

// Serial frame buffers: PSN, CMD, LEN, up to 255 payload bytes and SUM, with a spare byte.
inline constexpr size_t kSerialFrameBuffer = 260;
// Offsets inside a frame buffer.
inline constexpr size_t kFramePsn = 0;
inline constexpr size_t kFrameCmd = 1;
inline constexpr size_t kFrameLen = 2;
inline constexpr size_t kFramePayload = 3;

// Shortest payload each command must carry to be acted on.
inline constexpr size_t kRequestPayload = 34;    // system id (2) and model id (32)
inline constexpr size_t kBlockReqPayload = 4;    // length (1) and offset (3)
inline constexpr size_t kSizeAnswerPayload = 3;  // 24-bit size

// Receiver results.
inline constexpr int kRxFrame = 0;
inline constexpr int kRxNone = -1;
inline constexpr int kRxBadSum = -2;

// The sum modulo 256 of `length` bytes.
uint8_t FrameSum(const uint8_t* data, size_t length);

// Exchanges the bytes of every 16-bit pair: positions 2k and 2k + 1 for every 2k < count. For
// an odd count the last exchange takes in the byte at position `count`, which the buffer must
// have. Nothing happens for a null buffer or a count of 0.
void PairSwap(uint8_t* buffer, size_t count);

// What a serial frame receiver needs to know about its session: its queue, whether the
// session still runs, how long to wait for the rest of a frame, and the part of the magic
// already matched by an earlier call of the same session.
struct SerialReceiver {
  CByteQueue* queue = nullptr;
  std::function<bool()> running;
  std::chrono::milliseconds bodyWait{3000};
  int matchedMagic = 0;
};

// Takes one serial frame from the queue into `buffer` (kSerialFrameBuffer bytes: PSN, CMD,
// LEN, payload, SUM). kRxFrame when a checked frame is there, kRxBadSum when its SUM is
// wrong, kRxNone when the queue is empty, the magic is not among the bytes queued when the
// call began, the session stops or the rest of the frame does not come within bodyWait.
int RxSerialFrame(SerialReceiver& receiver, uint8_t* buffer);
// The download and the upload session's receivers.
int RxPacket_Download(SerialReceiver& receiver, uint8_t* buffer);
int RxPacket_Upload(SerialReceiver& receiver, uint8_t* buffer);

}  // namespace transfer
