// Small TCP helpers for the USB/IP client: connect with a time-out, exact reads and whole
// writes, each bounded.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "usbip_protocol.hpp"

namespace pw::usb {

// Connects with TCP_NODELAY set; -1 on failure or after `timeout`, with what went wrong in
// `problem` when given (a host name that does not resolve, a refused connection, ...).
int TcpConnect(const std::string& host, uint16_t port, std::chrono::milliseconds timeout,
               std::string* problem = nullptr);
// Ends both directions (a blocked read or write returns), and releases the socket.
void TcpShutdown(int fd);
void TcpClose(int fd);
// Writes all bytes; false on error or when no progress for `timeout`.
bool TcpWriteAll(int fd, std::span<const uint8_t> bytes, std::chrono::milliseconds timeout);

// Reads exact counts from a socket. With a time-out every Read of the reader gives up once
// that time has passed since the reader was made: one deadline for a whole reply, however
// slowly its bytes trickle in. Without one it blocks until data, end of stream or shutdown().
class SocketReader final : public usbip::ByteReader {
 public:
  SocketReader(int fd, std::chrono::milliseconds timeout)
      : fd_(fd),
        bounded_(timeout.count() > 0),
        deadline_(std::chrono::steady_clock::now() + timeout) {}
  bool Read(std::span<uint8_t> out) override;

 private:
  int fd_;
  bool bounded_;
  std::chrono::steady_clock::time_point deadline_;
};

}  // namespace pw::usb
