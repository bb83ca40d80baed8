// A small blocking USB/IP client for the server tests. Every read is bounded (5 s), so a
// server that fails to answer fails the test instead of hanging it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim::usbip::test {

struct Reply {
  uint32_t command = 0;
  uint32_t seqnum = 0;
  int32_t status = 0;
  uint32_t actual = 0;
  std::vector<uint8_t> data;  // IN data of a RET_SUBMIT
};

// One OP_REQ_DEVLIST on a fresh connection; the raw reply (empty when the server closed or
// did not answer).
std::vector<uint8_t> RequestDevlist(uint16_t port);

// Number of devices in a device list reply (0 for an empty or short reply).
uint32_t DeviceCount(const std::vector<uint8_t>& devlist);

class Client {
 public:
  Client() = default;
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Connects and imports `busid`; true when the server answered with status 0. The raw reply
  // is kept in import_reply().
  bool Import(uint16_t port, const std::string& busid = "1-1");
  const std::vector<uint8_t>& import_reply() const { return import_reply_; }

  void SetDevid(uint32_t devid) { devid_ = devid; }

  // CMD_SUBMIT; the seqnum is chosen here and returned.
  uint32_t Submit(uint32_t direction, uint32_t ep, int32_t length,
                  const std::vector<uint8_t>& outData = {}, std::array<uint8_t, 8> setup = {});
  uint32_t Control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                   uint16_t length);
  uint32_t Unlink(uint32_t victim);
  // Sends raw bytes as they are.
  bool SendRaw(const std::vector<uint8_t>& bytes);

  // The next reply, or nothing on end of stream or after `timeout_ms`.
  std::optional<Reply> Receive(int timeout_ms = 5000);
  // True when the server closes the connection within `timeout_ms` (data before the end is
  // skipped).
  bool WaitClosed(int timeout_ms = 5000);

  // Control transfer round trip: GET_DESCRIPTOR of `type`/`index` for `length` bytes.
  std::optional<Reply> GetDescriptor(uint8_t type, uint8_t index, uint16_t length);

 private:
  bool ReadExact(uint8_t* out, size_t n, int timeout_ms);

  int fd_ = -1;
  uint32_t devid_ = 1u << 16 | 2;
  uint32_t next_seqnum_ = 1;
  std::map<uint32_t, uint32_t> direction_of_;  // seqnum -> direction
  std::vector<uint8_t> import_reply_;
};

}  // namespace sim::usbip::test
