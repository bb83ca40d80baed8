// USB frames over libHvUsb's bulk pipes: "HaVo", PSN, CMD, LEN (2 bytes, big-endian), payload,
// SUM over PSN..payload. Every frame is pair-swapped before UsbWrite and every read after
// UsbRead (design: the receiver's USB byte order). Frame buffers hold the part from PSN on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace transfer {

// A worker's frame buffer: PSN, CMD, LEN, payload and SUM of the largest frame UsbWrite takes.
inline constexpr size_t kUsbFrameBuffer = 65536;
// Offsets inside a USB frame buffer.
inline constexpr size_t kUsbFramePsn = 0;
inline constexpr size_t kUsbFrameCmd = 1;
inline constexpr size_t kUsbFrameLen = 2;
inline constexpr size_t kUsbFramePayload = 4;
// Magic, PSN, CMD, LEN and SUM around the payload.
inline constexpr uint32_t kUsbFrameOverhead = 9;
// The payload of the largest frame UsbWrite takes (65536 bytes): the largest block a download
// serves.
inline constexpr uint32_t kMaxUsbPayload = kUsbFrameBuffer - kUsbFrameOverhead;
// Largest block an upload asks for.
inline constexpr uint32_t kMaxUsbUploadBlock = 0xFF00;
// A frame receiver asks UsbRead for this many bytes.
inline constexpr uint32_t kUsbReadRequest = 65537;

// The library's USB transmit buffer (the largest frame and the spare byte of a swap over an
// odd count) and receive buffer (a read of kUsbReadRequest bytes, the two bytes UsbRead may
// add and the swap's spare byte). Created once, never destroyed. Only the session that holds
// the busy flag uses them.
uint8_t* UsbTransmitBuffer();
uint8_t* UsbReceiveBuffer();
inline constexpr size_t kUsbTransmitBufferSize = kUsbFrameBuffer + 1;
inline constexpr size_t kUsbReceiveBufferSize = kUsbReadRequest + 3;

// Sends the frame {psn, cmd, LEN length, payload}. Returns UsbWrite's result (non-zero:
// sent); 0 without writing when the payload is longer than kMaxUsbPayload (lengths are worked
// out in 32 bits, so nothing wraps into a short frame).
uint32_t UsbSendFrame(uint8_t psn, uint8_t cmd, const uint8_t* payload = nullptr,
                      uint32_t length = 0);

// Receives one frame into `frame` (kUsbFrameBuffer bytes): 0 a checked frame (PSN on), -1 no
// frame (nothing read, fewer than 9 bytes, or a length that disagrees with LEN), -2 SUM
// mismatch.
int UsbRecvFrame(uint8_t* frame);

// The checks of UsbRecvFrame on `count` received bytes, already pair-swapped; the part from
// PSN on is copied into `frame`. Reads nothing beyond `count`.
int ParseUsbFrame(const uint8_t* received, uint32_t count, uint8_t* frame);

}  // namespace transfer
