// A byte stream to one USB/IP client: a TCP socket in the server, memory in the fuzz target.
#pragma once

#include <cstdint>
#include <span>

namespace sim::usbip {

class Stream {
 public:
  virtual ~Stream() = default;
  // Fills `out` completely; false on end of stream or error.
  virtual bool ReadExact(std::span<uint8_t> out) = 0;
  // Sends `head` then `tail` as one piece; false on error. Callers serialise writes.
  virtual bool Write(std::span<const uint8_t> head, std::span<const uint8_t> tail) = 0;
  // Ends the stream both ways; a blocked read or write returns false. Any thread may call it.
  virtual void Shutdown() = 0;
  // True when the client has closed its end (checked without waiting). Any thread.
  virtual bool PeerClosed() = 0;
};

}  // namespace sim::usbip
