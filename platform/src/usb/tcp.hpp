// Small TCP helpers for the USB/IP client: connect with a time-out, exact reads and whole
// writes, each bounded.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "usbip_protocol.hpp"

namespace pw::usb {

// Connects with TCP_NODELAY set; -1 on failure or after `timeout`.
int TcpConnect(const std::string& host, uint16_t port, std::chrono::milliseconds timeout);
// Writes all bytes; false on error or when no progress for `timeout`.
bool TcpWriteAll(int fd, std::span<const uint8_t> bytes, std::chrono::milliseconds timeout);

// Reads exact counts from a socket. With a time-out each Read gives up when no byte comes
// for that long; without one it blocks until data, end of stream or shutdown().
class SocketReader final : public usbip::ByteReader {
 public:
  SocketReader(int fd, std::chrono::milliseconds timeout) : fd_(fd), timeout_(timeout) {}
  bool Read(std::span<uint8_t> out) override;

 private:
  int fd_;
  std::chrono::milliseconds timeout_;  // 0: no time-out
};

}  // namespace pw::usb
