// TCP sockets for the USB/IP server: a listening socket and a connected stream.
#pragma once

#include <cstdint>
#include <string>

#include "stream.h"

namespace sim::usbip {

// A connected TCP socket; owns the descriptor and closes it on destruction.
class SocketStream : public Stream {
 public:
  explicit SocketStream(int fd);
  ~SocketStream() override;
  SocketStream(const SocketStream&) = delete;
  SocketStream& operator=(const SocketStream&) = delete;

  bool ReadExact(std::span<uint8_t> out) override;
  bool Write(std::span<const uint8_t> head, std::span<const uint8_t> tail) override;
  void Shutdown() override;
  bool PeerClosed() override;

 private:
  int fd_;
};

// Binds and listens on host:port (port 0: a free one). Returns the descriptor, or -1 with
// *error set. *boundPort receives the port actually bound.
int ListenTcp(const std::string& host, uint16_t port, uint16_t* boundPort, std::string* error);

// Connects to host:port with TCP_NODELAY; -1 on failure. Used by tests and tools.
int ConnectTcp(const std::string& host, uint16_t port);

}  // namespace sim::usbip
