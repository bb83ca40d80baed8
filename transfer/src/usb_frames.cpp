#include "usb_frames.h"

#include <cstring>

#include "HvUsb.h"
#include "PenwickHelpers.h"
#include "frames.h"

namespace transfer {

uint8_t* UsbTransmitBuffer() {
  static auto* buffer = new uint8_t[kUsbTransmitBufferSize]();
  return buffer;
}

uint8_t* UsbReceiveBuffer() {
  static auto* buffer = new uint8_t[kUsbReceiveBufferSize]();
  return buffer;
}

namespace {

// Adds the magic and SUM to the `body` bytes from PSN on already in the transmit buffer after
// the magic's place, swaps the pairs and writes the frame.
uint32_t SendComposed(uint32_t body) {
  uint8_t* tx = UsbTransmitBuffer();
  std::memcpy(tx, kMagic, sizeof kMagic);
  tx[4 + body] = FrameSum(tx + 4, body);
  const uint32_t length = body + 5;
  PairSwap(tx, length);
  return UsbWrite(tx, length);
}

}  // namespace

uint32_t UsbSendFrame(uint8_t psn, uint8_t cmd, const uint8_t* payload, uint32_t length) {
  if (length > kMaxUsbPayload) return 0;
  const uint32_t body = length + 4;
  uint8_t* tx = UsbTransmitBuffer();
  tx[4 + kUsbFramePsn] = psn;
  tx[4 + kUsbFrameCmd] = cmd;
  Put16bit(tx + 4 + kUsbFrameLen, static_cast<uint16_t>(length));
  if (length != 0) std::memcpy(tx + 4 + kUsbFramePayload, payload, length);
  return SendComposed(body);
}

int ParseUsbFrame(const uint8_t* received, uint32_t count, uint8_t* frame) {
  if (count < kUsbFrameOverhead || count - 4 > kUsbFrameBuffer) return kRxNone;
  std::memcpy(frame, received + 4, count - 4);
  if (count - kUsbFrameOverhead != Get16bit(frame + kUsbFrameLen)) return kRxNone;
  const uint32_t summed = count - 5;
  return FrameSum(frame, summed) == frame[summed] ? kRxFrame : kRxBadSum;
}

int UsbRecvFrame(uint8_t* frame) {
  uint8_t* rx = UsbReceiveBuffer();
  const uint32_t count = UsbRead(rx, kUsbReadRequest);
  PairSwap(rx, count);
  return ParseUsbFrame(rx, count, frame);
}

}  // namespace transfer
