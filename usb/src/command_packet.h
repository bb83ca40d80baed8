// Command packets on the pipes: sending an assembled packet, PKT_FAIL with a host reason, and
// the acknowledgement wait of the file tasks. UsbCommandSend is built on these.
#pragma once

#include <cstddef>
#include <cstdint>

#include "packet_format.h"

namespace hvusb {

// Seals the packet in `packet` (a buffer of kMaxPacketTransfer bytes) and writes it as whole
// OUT packets. False when the payload is too long, there is no OUT pipe or the write fails.
bool SendSealed(uint8_t* packet, uint32_t command, uint32_t payloadLength);

// PKT_FAIL with `reason` in the host's little-endian order.
bool SendFail(uint32_t reason);

// The acknowledgement wait: reads an answer into `receive` (kReceiveBufferSize bytes) and
// succeeds on a well-formed PKT_OK. A damaged or missing answer is reported to the receiver
// with PKT_FAIL and its reason; any other well-formed answer fails with nothing sent. A
// failure is noted in the task's outcome.
bool AwaitAck(uint8_t* receive);

// Ends a transfer from the host's side: PKT_CANCEL and its acknowledgement; always false, so a
// task step can return it as its failure.
bool Abandon(uint8_t* receive);

// Receive buffer of the file tasks: the largest copy UsbRead makes (65,537) and spare.
inline constexpr size_t kReceiveBufferSize = 65540;

}  // namespace hvusb
