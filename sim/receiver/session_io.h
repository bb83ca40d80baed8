// Helpers the receiver's sessions share: sending with the fault plan applied, logging, and the
// CMD_REQUEST that announces the receiver.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "faults.h"
#include "link.h"

namespace sim {

using LogFn = std::function<void(const std::string&)>;

struct Identity {
  uint16_t systemId = 0x1234;
  std::array<uint8_t, 32> modelId{};
};

// An identity block carrying the system id at bytes 5-6 with a correct check byte at 3.
std::array<uint8_t, 32> MakeModelId(uint16_t systemId);

// The CMD_REQUEST frame: system id (2 bytes) and model id (32 bytes).
Frame RequestFrame(uint8_t psn, const Identity& identity);

// Sends `frame`, corrupting its SUM when the plan says this is the frame to corrupt. Returns
// whether the line took it and sets `*corrupted` when it was the corrupted one.
bool SendCounted(Link& link, FaultPlan& plan, const Frame& frame, const LogFn& log,
                 bool* corrupted = nullptr);

std::string Describe(const Frame& frame);

}  // namespace sim
