// Pairing of pending bulk IN requests with the device's transfers.
#include "in_pipe.h"

#include <algorithm>

#include "usbip_wire.h"

namespace sim::usbip {

std::vector<InCompletion> InPipe::Complete() {
  std::vector<InCompletion> done;
  while (!pending_.empty() && !transfers_.empty()) {
    const Request request = pending_.front();
    pending_.pop_front();
    const std::vector<uint8_t>& transfer = transfers_.front();
    const size_t left = transfer.size() - frontOffset_;
    const auto from = transfer.begin() + static_cast<ptrdiff_t>(frontOffset_);

    InCompletion c{request.seqnum, kStatusOk, {}};
    if (left <= request.length) {
      c.data.assign(from, transfer.end());
      transfers_.pop_front();
      frontOffset_ = 0;
    } else {
      c.data.assign(from, from + request.length);
      if (request.length % maxPacket_ == 0) {
        frontOffset_ += request.length;  // the next request gets the rest
      } else {
        c.status = kStatusOverflow;
        transfers_.pop_front();
        frontOffset_ = 0;
      }
    }
    done.push_back(std::move(c));
  }
  return done;
}

bool InPipe::Unlink(uint32_t seqnum) {
  const auto it = std::find_if(pending_.begin(), pending_.end(),
                               [seqnum](const Request& r) { return r.seqnum == seqnum; });
  if (it == pending_.end()) return false;
  pending_.erase(it);
  return true;
}

void InPipe::Reset() {
  pending_.clear();
  transfers_.clear();
  frontOffset_ = 0;
}

}  // namespace sim::usbip
