// What the receiver and the PC say to each other, independent of the link that carries it:
// command codes, data types and a decoded frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

enum Command : uint8_t {
  kCmdRequest = 1,
  kCmdDownReady = 2,
  kCmdUpReady = 3,
  kCmdBlockReq = 4,
  kCmdBlock = 5,
  kCmdEnd = 6,
  kCmdSizeReq = 7,
  kCmdSize = 8,
  kCmdReboot = 11,
};

enum DataType : uint8_t { kTypeFlash = 2, kTypeEeprom = 3 };

struct Frame {
  uint8_t psn = 0;
  uint8_t cmd = 0;
  std::vector<uint8_t> payload;
};

const char* CommandName(uint8_t cmd);

// The 8-bit sum of `length` bytes: the SUM of a frame over PSN, CMD, LEN and the payload.
uint8_t FrameSum(const uint8_t* data, size_t length);

}  // namespace sim
