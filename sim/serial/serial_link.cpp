// The receiver's serial link: frames out with optional noise, frames in through the parser.
#include "serial_link.h"

#include <PenwickHelpers.h>

#include <thread>

namespace sim {

bool SerialLink::Send(const Frame& frame, uint8_t sumDelta) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < noise_; ++i) {
    uint8_t b = static_cast<uint8_t>(rng_());
    bytes.push_back(b == 'o' ? uint8_t{0} : b);
  }
  std::vector<uint8_t> encoded = EncodeSerialFrame(frame, sumDelta);
  bytes.insert(bytes.end(), encoded.begin(), encoded.end());
  if (!pty_.Write(bytes.data(), bytes.size(), std::chrono::seconds(10))) return false;
  if (++frames_ == hangupAfter_) {
    // A moment for the frame to be taken in, then the line goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty_.HangUp();
    hungUp_ = true;
  }
  return true;
}

Link::Rx SerialLink::Receive(Frame* out, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (auto r = parser_.Next()) {
      *out = std::move(r->frame);
      return r->kind == SerialFrameParser::Kind::Good ? Rx::Frame : Rx::BadSum;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Rx::Timeout;
    uint8_t buf[1024];
    long n = pty_.Read(buf, sizeof buf, left);
    if (n < 0) return Rx::Closed;
    if (n == 0) return Rx::Timeout;
    parser_.Feed(buf, static_cast<size_t>(n));
  }
}

std::vector<uint8_t> SerialLink::BlockRequestPayload(size_t length, uint32_t offset) const {
  std::vector<uint8_t> p(4);
  p[0] = static_cast<uint8_t>(length);
  Put24bit(p.data() + 1, offset);
  return p;
}

bool SerialLink::ParseBlockRequest(const std::vector<uint8_t>& payload, size_t* length,
                                   uint32_t* offset) const {
  if (payload.size() != 4) return false;
  *length = payload[0];
  *offset = Get24bit(payload.data() + 1);
  return true;
}

}  // namespace sim
