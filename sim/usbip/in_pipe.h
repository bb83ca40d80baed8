// The bulk IN endpoint: read requests from the host wait here until the device has a transfer
// for them. A transfer is what the device sends before it ends with a short (or zero-length)
// packet; an empty transfer is a zero-length packet. Not thread-safe; the device serialises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace sim::usbip {

struct InCompletion {
  uint32_t seqnum = 0;
  int32_t status = 0;
  std::vector<uint8_t> data;
};

class InPipe {
 public:
  explicit InPipe(uint16_t maxPacket) : maxPacket_(maxPacket == 0 ? 1 : maxPacket) {}

  // A read request of `length` bytes from the host.
  void Submit(uint32_t seqnum, uint32_t length) { pending_.push_back({seqnum, length}); }

  // One transfer from the device, sent once a request is there.
  void Push(std::vector<uint8_t> transfer) { transfers_.push_back(std::move(transfer)); }

  // Matches waiting requests with queued transfers, oldest first. A transfer longer than its
  // request fills it and carries on into the next one when the request is a whole number of
  // packets; otherwise the request ends with -EOVERFLOW and the rest of the transfer is lost.
  std::vector<InCompletion> Complete();

  // Removes a waiting request; false when none has that seqnum (already completed or unknown).
  bool Unlink(uint32_t seqnum);

  // Drops every waiting request and every queued transfer.
  void Reset();

  size_t pending() const { return pending_.size(); }
  size_t queued() const { return transfers_.size(); }

 private:
  struct Request {
    uint32_t seqnum;
    uint32_t length;
  };

  uint16_t maxPacket_;
  std::deque<Request> pending_;
  std::deque<std::vector<uint8_t>> transfers_;
  size_t frontOffset_ = 0;  // bytes of transfers_.front() already sent
};

}  // namespace sim::usbip
