// A small blocking USB/IP client for the server tests. Every read is bounded (5 s), so a
// server that fails to answer fails the test instead of hanging it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim::usbip::test {

struct Reply {
  std::uint32_t command = 0;
  std::uint32_t seqnum = 0;
  std::int32_t status = 0;
  std::uint32_t actual = 0;
  std::vector<std::uint8_t> data;  // IN data of a RET_SUBMIT
};

// One OP_REQ_DEVLIST on a fresh connection; the raw reply (empty when the server closed or
// did not answer).
std::vector<std::uint8_t> RequestDevlist(std::uint16_t port);

// Number of devices in a device list reply (0 for an empty or short reply).
std::uint32_t DeviceCount(const std::vector<std::uint8_t>& devlist);

class Client {
 public:
  Client() = default;
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Connects and imports `busid`; true when the server answered with status 0. The raw reply
  // is kept in import_reply().
  bool Import(std::uint16_t port, const std::string& busid = "1-1");
  const std::vector<std::uint8_t>& import_reply() const { return import_reply_; }

  void SetDevid(std::uint32_t devid) { devid_ = devid; }

  // CMD_SUBMIT; the seqnum is chosen here and returned.
  std::uint32_t Submit(std::uint32_t direction, std::uint32_t ep, std::int32_t length,
                       const std::vector<std::uint8_t>& out_data = {},
                       std::array<std::uint8_t, 8> setup = {});
  std::uint32_t Control(std::uint8_t request_type, std::uint8_t request, std::uint16_t value,
                        std::uint16_t index, std::uint16_t length);
  std::uint32_t Unlink(std::uint32_t victim);
  // Sends raw bytes as they are.
  bool SendRaw(const std::vector<std::uint8_t>& bytes);

  // The next reply, or nothing on end of stream or after `timeout_ms`.
  std::optional<Reply> Receive(int timeout_ms = 5000);
  // True when the server closes the connection within `timeout_ms` (data before the end is
  // skipped).
  bool WaitClosed(int timeout_ms = 5000);

  // Control transfer round trip: GET_DESCRIPTOR of `type`/`index` for `length` bytes.
  std::optional<Reply> GetDescriptor(std::uint8_t type, std::uint8_t index, std::uint16_t length);

 private:
  bool ReadExact(std::uint8_t* out, std::size_t n, int timeout_ms);

  int fd_ = -1;
  std::uint32_t devid_ = 1u << 16 | 2;
  std::uint32_t next_seqnum_ = 1;
  std::map<std::uint32_t, std::uint32_t> direction_of_;  // seqnum -> direction
  std::vector<std::uint8_t> import_reply_;
};

}  // namespace sim::usbip::test
