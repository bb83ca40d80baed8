// The receiver's end of a pseudo-terminal for the serial session tests.
#include "pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace testpeer {

// Both build their bytes in a vector sized once: appending to a vector made from a brace list
// draws a false -Warray-bounds from GCC 12 at -O3.
std::vector<uint8_t> EncodeFrame(uint8_t psn, uint8_t cmd, const std::vector<uint8_t>& payload,
                                 int sumDelta) {
  const uint8_t head[] = {'H', 'a', 'V', 'o', psn, cmd, static_cast<uint8_t>(payload.size())};
  std::vector<uint8_t> out(sizeof head + payload.size() + 1);
  std::copy(std::begin(head), std::end(head), out.begin());
  std::copy(payload.begin(), payload.end(), out.begin() + sizeof head);
  int sum = 0;
  for (size_t i = 4; i + 1 < out.size(); ++i) sum += out[i];
  out.back() = static_cast<uint8_t>(sum + sumDelta);
  return out;
}

std::vector<uint8_t> RequestPayload(uint16_t systemId, const std::vector<uint8_t>& identity) {
  std::vector<uint8_t> payload(2 + identity.size());
  payload[0] = static_cast<uint8_t>(systemId >> 8);
  payload[1] = static_cast<uint8_t>(systemId);
  std::copy(identity.begin(), identity.end(), payload.begin() + 2);
  return payload;
}

PtyPeer::PtyPeer() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
    throw std::runtime_error("no pseudo-terminal");
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname");
  slave_ = name;
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPeer::~PtyPeer() {
  if (master_ >= 0) close(master_);
}

void PtyPeer::Write(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{master_, POLLOUT, 0};
      if (poll(&p, 1, 1000) <= 0) return;
    }
  }
}

void PtyPeer::SendFrame(uint8_t psn, uint8_t cmd, const std::vector<uint8_t>& payload,
                        int sumDelta) {
  Write(EncodeFrame(psn, cmd, payload, sumDelta));
}

bool PtyPeer::Fill(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    uint8_t buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
      pending_.insert(pending_.end(), buffer, buffer + n);
      bytesSeen_ += static_cast<size_t>(n);
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{master_, POLLIN, 0};
    // With the slave closed the master reports a hang-up; sleep briefly then.
    if (poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 50))) > 0 &&
        (p.revents & POLLHUP))
      usleep(20000);
  }
}

std::optional<Frame> PtyPeer::ReadFrame(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    // Strict magic: the frame starts where "HaVo" stands.
    size_t start = 0;
    while (start + 4 <= pending_.size() &&
           !(pending_[start] == 'H' && pending_[start + 1] == 'a' && pending_[start + 2] == 'V' &&
             pending_[start + 3] == 'o'))
      ++start;
    if (start + 4 <= pending_.size() && start + 7 <= pending_.size()) {
      const size_t length = pending_[start + 6];
      if (start + 8 + length <= pending_.size()) {
        Frame frame;
        frame.psn = pending_[start + 4];
        frame.cmd = pending_[start + 5];
        frame.payload.assign(pending_.begin() + static_cast<long>(start) + 7,
                             pending_.begin() + static_cast<long>(start + 7 + length));
        int sum = 0;
        for (size_t i = start + 4; i < start + 7 + length; ++i) sum += pending_[i];
        const bool sumOk = static_cast<uint8_t>(sum) == pending_[start + 7 + length];
        noise_ += start;
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(start + 8 + length));
        if (!sumOk) throw std::runtime_error("the library sent a frame with a wrong SUM");
        return frame;
      }
    }
    if (!Fill(deadline)) return std::nullopt;
  }
}

std::vector<uint8_t> PtyPeer::ReadBytes(size_t count, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (pending_.size() < count && Fill(deadline)) {
  }
  const size_t taken = std::min(count, pending_.size());
  std::vector<uint8_t> out(pending_.begin(), pending_.begin() + static_cast<long>(taken));
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(taken));
  return out;
}

}  // namespace testpeer
