// Encoding and parsing the serial line's frames on the receiver's side.
#include "serial_frames.h"

#include <algorithm>

namespace sim {

const char* CommandName(uint8_t cmd) {
  switch (cmd) {
    case kCmdRequest:
      return "CMD_REQUEST";
    case kCmdDownReady:
      return "CMD_DOWN_READY";
    case kCmdUpReady:
      return "CMD_UP_READY";
    case kCmdBlockReq:
      return "CMD_BLOCK_REQ";
    case kCmdBlock:
      return "CMD_BLOCK";
    case kCmdEnd:
      return "CMD_END";
    case kCmdSizeReq:
      return "CMD_SIZE_REQ";
    case kCmdSize:
      return "CMD_SIZE";
    case kCmdReboot:
      return "CMD_REBOOT";
    default:
      return "unknown command";
  }
}

std::vector<uint8_t> EncodeSerialFrame(const Frame& frame, uint8_t sumDelta) {
  const size_t len = std::min(frame.payload.size(), kMaxSerialPayload);
  std::vector<uint8_t> out(kMagic, kMagic + 4);
  out.push_back(frame.psn);
  out.push_back(frame.cmd);
  out.push_back(static_cast<uint8_t>(len));
  out.insert(out.end(), frame.payload.begin(), frame.payload.begin() + static_cast<long>(len));
  uint8_t sum = 0;
  for (size_t i = 4; i < out.size(); ++i) sum = static_cast<uint8_t>(sum + out[i]);
  out.push_back(static_cast<uint8_t>(sum + sumDelta));
  return out;
}

void SerialFrameParser::Feed(const uint8_t* data, size_t size) {
  // Drop what was consumed before growing, so the buffer stays at most one frame plus input.
  if (start_ > 0) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(start_));
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

std::optional<SerialFrameParser::Result> SerialFrameParser::Next() {
  {
    const size_t avail = buffer_.size() - start_;
    const uint8_t* p = buffer_.data() + start_;
    // Find the magic; a partial magic at the end is kept for the next Feed.
    size_t skip = 0;
    while (skip < avail) {
      const size_t n = std::min<size_t>(4, avail - skip);
      if (std::equal(p + skip, p + skip + n, kMagic)) break;
      ++skip;
    }
    noise_ += skip;
    start_ += skip;
    if (avail - skip < 7) return std::nullopt;  // magic, PSN, CMD, LEN not all here yet
    p = buffer_.data() + start_;
    const size_t len = p[6];
    if (avail - skip < 8 + len) return std::nullopt;
    uint8_t sum = 0;
    for (size_t i = 4; i < 7 + len; ++i) sum = static_cast<uint8_t>(sum + p[i]);
    Result result{sum == p[7 + len] ? Kind::Good : Kind::BadSum,
                  Frame{p[4], p[5], std::vector<uint8_t>(p + 7, p + 7 + len)}};
    start_ += 8 + len;
    return result;
  }
}

}  // namespace sim
