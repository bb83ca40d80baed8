// Helpers the receiver's sessions share: their result and how it ends, sending with the fault
// plan applied, logging, the receiver's identity in CMD_REQUEST, and the opening of a session
// the PC starts (USB).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "faults.h"
#include "link.h"

namespace sim {

using LogFn = std::function<void(const std::string&)>;

struct SessionResult {
  bool ok = false;
  std::string summary;        // one line, without the "SIM OK"/"SIM FAIL" prefix
  std::vector<uint8_t> file;  // download: the file as received
  size_t retries = 0;         // requests sent again
  size_t staleAnswers = 0;    // answers to an earlier request, ignored
  bool lineLost = false;      // it ended because the line failed or closed
};

struct Identity {
  uint16_t systemId = 0x1234;
  std::array<uint8_t, 32> modelId{};
};

// An identity block carrying the system id at bytes 5-6 with a correct check byte at 3.
std::array<uint8_t, 32> MakeModelId(uint16_t systemId);

// System id (2 bytes) and model id (32 bytes): the payload of CMD_REQUEST on the serial line
// and of the answer to an opening on USB.
std::vector<uint8_t> IdentityPayload(const Identity& identity);

// The CMD_REQUEST frame.
Frame RequestFrame(uint8_t psn, const Identity& identity);

// Sends `frame` with the plan's frame faults applied (a damaged SUM, another command).
// Returns whether the line took it and sets `*spoiled` when a fault hit it.
bool SendCounted(Link& link, FaultPlan& plan, const Frame& frame, const LogFn& log,
                 bool* spoiled = nullptr);

std::string Describe(const Frame& frame);

// Waits up to `timeout` for the PC's opening frame `cmd` and answers it with CMD_DOWN_READY
// and the receiver's identity. The openings the plan refuses are answered with CMD_SIZE; after
// a refused or spoiled answer the receiver waits for the next opening. Empty when opened;
// otherwise why not, with `*lineLost` set when the line went.
std::string AcceptOpening(Link& link, uint8_t cmd, const Identity& identity, FaultPlan& plan,
                          std::chrono::milliseconds timeout, const LogFn& log, bool* lineLost);

// What a download and an upload both keep while they run: the link, the fault plan, the log and
// the result, which the first reason given ends.
class SessionRun {
 public:
  SessionRun(Link& link, FaultPlan& faults, const LogFn& log, SessionResult& result)
      : link_(link), faults_(faults), log_(log), result_(result) {}

  // Records why the session failed, unless an earlier reason stands. False, for `return`.
  bool Fail(std::string why);
  // The same for a line that failed or closed.
  bool LineLost(std::string why);

 protected:
  // AcceptOpening over this session's link; false after recording why it did not open.
  bool AcceptOpening(uint8_t cmd, const Identity& identity, std::chrono::milliseconds timeout);

  Link& link_;
  FaultPlan& faults_;
  const LogFn& log_;
  SessionResult& result_;
};

}  // namespace sim
