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
    const std::vector<std::uint8_t>& transfer = transfers_.front();
    const std::size_t left = transfer.size() - front_offset_;
    const auto from = transfer.begin() + static_cast<std::ptrdiff_t>(front_offset_);

    InCompletion c{request.seqnum, kStatusOk, {}};
    if (left <= request.length) {
      c.data.assign(from, transfer.end());
      transfers_.pop_front();
      front_offset_ = 0;
    } else {
      c.data.assign(from, from + request.length);
      if (request.length % max_packet_ == 0) {
        front_offset_ += request.length;  // the next request gets the rest
      } else {
        c.status = kStatusOverflow;
        transfers_.pop_front();
        front_offset_ = 0;
      }
    }
    done.push_back(std::move(c));
  }
  return done;
}

bool InPipe::Unlink(std::uint32_t seqnum) {
  const auto it = std::find_if(pending_.begin(), pending_.end(),
                               [seqnum](const Request& r) { return r.seqnum == seqnum; });
  if (it == pending_.end()) return false;
  pending_.erase(it);
  return true;
}

void InPipe::Reset() {
  pending_.clear();
  transfers_.clear();
  front_offset_ = 0;
}

}  // namespace sim::usbip
