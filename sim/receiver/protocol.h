// What the receiver and the PC say to each other, independent of the link that carries it:
// command codes, data types and a decoded frame.
#pragma once

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

}  // namespace sim
