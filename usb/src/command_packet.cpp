// Command packets on the pipes: UsbCommandSend, PKT_FAIL and the acknowledgement wait.
#include "command_packet.h"

#include <cstring>
#include <mutex>

#include "HvUsb.h"
#include "library_state.h"
#include "task_outcome.h"

namespace hvusb {
namespace {

// The command buffer: length + 8 bytes of the largest packet, and room for the rounding.
constexpr size_t kCommandBufferSize = 65548;

struct CommandBuffer {
  std::mutex mutex;  // one packet at a time, whichever thread sends it
  uint8_t* bytes = new uint8_t[kCommandBufferSize]();
};

// Never released: a task still running while the process ends never writes into freed memory.
CommandBuffer& Command() {
  static auto* buffer = new CommandBuffer;
  return *buffer;
}

// The answer of an acknowledgement: 8 bytes of PKT_OK, read as up to 12.
constexpr uint32_t kAckExpected = 12;

}  // namespace

bool SendSealed(uint8_t* packet, uint32_t command, uint32_t payloadLength) {
  if (payloadLength > kMaxPayload) return false;
  const uint32_t maxPacket = State().out.maxPacketSize.load();
  if (maxPacket == 0) return false;
  const uint32_t total = payloadLength + kPacketHeaderSize;
  const uint32_t transfer = (total + maxPacket - 1) / maxPacket * maxPacket;
  if (transfer > kMaxPacketTransfer) return false;
  SealPacket(packet, command, payloadLength);
  return UsbWrite(packet, transfer) != 0;
}

bool SendFail(uint32_t reason) {
  const uint8_t payload[4] = {static_cast<uint8_t>(reason), static_cast<uint8_t>(reason >> 8),
                              static_cast<uint8_t>(reason >> 16),
                              static_cast<uint8_t>(reason >> 24)};
  return UsbCommandSend(kPktFail, payload, sizeof payload) != 0;
}

bool AwaitAck(uint8_t* receive) {
  const uint32_t count = UsbRead(receive, kAckExpected);
  const PacketCheck check = CheckPacket(receive, count);
  if (!check.ok) {
    SendFail(check.reason);
    return FailedAnswer(check, count, check.reason);
  }
  return check.packet.command == kPktOk || FailedAnswer(check, count, kReasonNotOk);
}

bool Abandon(uint8_t* receive) {
  if (UsbCommandSend(kPktCancel, nullptr, 0) != 0) AwaitAck(receive);
  return false;
}

}  // namespace hvusb

using namespace hvusb;

extern "C" HV_API uint32_t UsbCommandSend(uint32_t command, const uint8_t* payload,
                                          uint32_t length) {
  if (length != 0 && payload == nullptr) return 0;
  if (length > kMaxPayload) return 0;
  CommandBuffer& buffer = Command();
  std::lock_guard lock(buffer.mutex);
  if (length != 0) std::memcpy(buffer.bytes + kPacketHeaderSize, payload, length);
  return SendSealed(buffer.bytes, command, length) ? 1 : 0;
}
