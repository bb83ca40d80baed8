// The serial frame receivers: the consumers of the receive queue.
#include "frames.h"

namespace transfer {
namespace {

bool Stopped(const SerialReceiver& receiver) {
  return receiver.running && !receiver.running();
}

// Reads PSN, CMD, LEN, payload and SUM after a matched magic.
int ReadBody(SerialReceiver& receiver, uint8_t* buffer) {
  const auto deadline = std::chrono::steady_clock::now() + receiver.bodyWait;
  const std::function<bool()> stopped = [&] { return Stopped(receiver); };
  size_t stored = 0;
  while (stored < 4 || stored < static_cast<size_t>(buffer[kFrameLen]) + 4) {
    if (Stopped(receiver)) return kRxNone;
    uint8_t byte = 0;
    if (receiver.queue->Pop(byte)) {
      buffer[stored++] = byte;
      continue;
    }
    if (!receiver.queue->WaitForData(deadline, stopped) &&
        std::chrono::steady_clock::now() >= deadline)
      return kRxNone;
  }
  const size_t summed = static_cast<size_t>(buffer[kFrameLen]) + 3;
  return FrameSum(buffer, summed) == buffer[summed] ? kRxFrame : kRxBadSum;
}

}  // namespace

int RxSerialFrame(SerialReceiver& receiver, uint8_t* buffer) {
  CByteQueue& queue = *receiver.queue;
  const int queued = queue.Count();
  if (queued == 0) return kRxNone;
  // The search looks at no more bytes than were queued when the call began. A byte that does
  // not match leaves the match where it is, and a partly matched magic carries over to the
  // next call: at line speed a call often finds only the first bytes of a frame queued.
  for (int attempts = 0; attempts < queued;) {
    uint8_t byte = 0;
    if (queue.Pop(byte) && byte == kMagic[receiver.matchedMagic]) ++receiver.matchedMagic;
    if (receiver.matchedMagic == 4) {
      receiver.matchedMagic = 0;
      return ReadBody(receiver, buffer);
    }
    ++attempts;
  }
  return kRxNone;
}

int RxPacket_Download(SerialReceiver& receiver, uint8_t* buffer) {
  return RxSerialFrame(receiver, buffer);
}

int RxPacket_Upload(SerialReceiver& receiver, uint8_t* buffer) {
  return RxSerialFrame(receiver, buffer);
}

}  // namespace transfer
