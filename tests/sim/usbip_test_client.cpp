// Test-side USB/IP client, written from the wire description independently of the server's
// own encoders where the layout is what is being tested.
#include "usbip_test_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "socket_stream.h"

namespace sim::usbip::test {
namespace {

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

bool SendAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Reads exactly n bytes within the deadline.
bool ReadWithin(int fd, uint8_t* out, size_t n, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  size_t done = 0;
  while (done < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    const ssize_t got = recv(fd, out + done, n - done, 0);
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

std::vector<uint8_t> OpRequest(uint16_t code) {
  return {0x01, 0x11, static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code), 0, 0, 0, 0};
}

}  // namespace

std::vector<uint8_t> RequestDevlist(uint16_t port) {
  const int fd = ConnectTcp("127.0.0.1", port);
  if (fd < 0) return {};
  std::vector<uint8_t> reply;
  if (SendAll(fd, OpRequest(0x8005))) {
    uint8_t chunk[4096];
    while (true) {  // the server closes after the reply
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) break;
      const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      reply.insert(reply.end(), chunk, chunk + n);
    }
  }
  close(fd);
  return reply;
}

uint32_t DeviceCount(const std::vector<uint8_t>& devlist) {
  return devlist.size() >= 12 ? Be32(&devlist[8]) : 0;
}

Client::~Client() {
  if (fd_ >= 0) close(fd_);
}

bool Client::Import(uint16_t port, const std::string& busid) {
  fd_ = ConnectTcp("127.0.0.1", port);
  if (fd_ < 0) return false;
  std::vector<uint8_t> request = OpRequest(0x8003);
  std::vector<uint8_t> id(32, 0);
  std::memcpy(id.data(), busid.data(), std::min<size_t>(busid.size(), 31));
  request.insert(request.end(), id.begin(), id.end());
  if (!SendAll(fd_, request)) return false;
  import_reply_.assign(8, 0);
  if (!ReadExact(import_reply_.data(), 8, 5000)) return false;
  if (Be32(&import_reply_[4]) != 0) return false;
  import_reply_.resize(8 + 312);
  return ReadExact(import_reply_.data() + 8, 312, 5000);
}

uint32_t Client::Submit(uint32_t direction, uint32_t ep, int32_t length,
                        const std::vector<uint8_t>& outData, std::array<uint8_t, 8> setup) {
  const uint32_t seqnum = next_seqnum_++;
  std::vector<uint8_t> pdu;
  PutBe32(pdu, 1);
  PutBe32(pdu, seqnum);
  PutBe32(pdu, devid_);
  PutBe32(pdu, direction);
  PutBe32(pdu, ep);
  PutBe32(pdu, direction == 1 ? 0x200 : 0);
  PutBe32(pdu, static_cast<uint32_t>(length));
  PutBe32(pdu, 0);  // start_frame
  PutBe32(pdu, 0);  // numberOfPackets
  PutBe32(pdu, 0);  // interval
  pdu.insert(pdu.end(), setup.begin(), setup.end());
  pdu.insert(pdu.end(), outData.begin(), outData.end());
  direction_of_[seqnum] = direction;
  SendAll(fd_, pdu);
  return seqnum;
}

uint32_t Client::Control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                         uint16_t length) {
  const std::array<uint8_t, 8> setup{requestType,
                                     request,
                                     static_cast<uint8_t>(value),
                                     static_cast<uint8_t>(value >> 8),
                                     static_cast<uint8_t>(index),
                                     static_cast<uint8_t>(index >> 8),
                                     static_cast<uint8_t>(length),
                                     static_cast<uint8_t>(length >> 8)};
  const uint32_t direction = (requestType & 0x80) != 0 && length > 0 ? 1 : 0;
  return Submit(direction, 0, length, {}, setup);
}

uint32_t Client::Unlink(uint32_t victim) {
  const uint32_t seqnum = next_seqnum_++;
  std::vector<uint8_t> pdu;
  PutBe32(pdu, 2);
  PutBe32(pdu, seqnum);
  PutBe32(pdu, devid_);
  PutBe32(pdu, 0);
  PutBe32(pdu, 0);
  PutBe32(pdu, victim);
  pdu.resize(48, 0);
  SendAll(fd_, pdu);
  return seqnum;
}

bool Client::SendRaw(const std::vector<uint8_t>& bytes) {
  return SendAll(fd_, bytes);
}

std::optional<Reply> Client::Receive(int timeout_ms) {
  uint8_t h[48];
  if (!ReadExact(h, sizeof h, timeout_ms)) return std::nullopt;
  Reply r;
  r.command = Be32(&h[0]);
  r.seqnum = Be32(&h[4]);
  r.status = static_cast<int32_t>(Be32(&h[0x14]));
  r.actual = Be32(&h[0x18]);
  if (r.command == 3 && direction_of_[r.seqnum] == 1 && r.actual > 0) {
    if (r.actual > (1u << 24)) return std::nullopt;
    r.data.resize(r.actual);
    if (!ReadExact(r.data.data(), r.actual, 5000)) return std::nullopt;
  }
  return r;
}

bool Client::WaitClosed(int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  uint8_t chunk[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 50) < 0) return false;
    if ((p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return true;
  }
  return false;
}

std::optional<Reply> Client::GetDescriptor(uint8_t type, uint8_t index, uint16_t length) {
  const uint32_t seqnum =
      Control(0x80, 6, static_cast<uint16_t>(type << 8 | index), type == 3 ? 0x0809 : 0, length);
  auto reply = Receive();
  if (!reply || reply->seqnum != seqnum) return std::nullopt;
  return reply;
}

bool Client::ReadExact(uint8_t* out, size_t n, int timeout_ms) {
  return ReadWithin(fd_, out, n, timeout_ms);
}

}  // namespace sim::usbip::test
