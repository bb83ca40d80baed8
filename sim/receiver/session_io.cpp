// Sending with the fault plan, logging and the receiver's announcement.
#include "session_io.h"

#include <PenwickHelpers.h>

namespace sim {

std::array<uint8_t, 32> MakeModelId(uint16_t systemId) {
  std::array<uint8_t, 32> id{};
  for (size_t i = 0; i < id.size(); ++i) id[i] = static_cast<uint8_t>(0x30 + i);
  Put16bit(id.data() + 5, systemId);
  uint8_t sum = 0;
  for (size_t i = 4; i < id.size(); ++i) sum = static_cast<uint8_t>(sum + id[i]);
  id[3] = static_cast<uint8_t>(~sum);
  return id;
}

std::vector<uint8_t> IdentityPayload(const Identity& identity) {
  std::vector<uint8_t> payload(2 + identity.modelId.size());
  Put16bit(payload.data(), identity.systemId);
  std::copy(identity.modelId.begin(), identity.modelId.end(), payload.begin() + 2);
  return payload;
}

Frame RequestFrame(uint8_t psn, const Identity& identity) {
  return Frame{psn, kCmdRequest, IdentityPayload(identity)};
}

bool SendCounted(Link& link, FaultPlan& plan, const Frame& frame, const LogFn& log, bool* spoiled) {
  ++plan.framesSent;
  const bool corrupt = FaultPlan::Hits(plan.corruptSum, plan.framesSent);
  Frame sent = frame;
  const bool wrong = FaultPlan::Hits(plan.wrongCmd, plan.framesSent);
  if (wrong) sent.cmd = frame.cmd == kCmdBlockReq ? kCmdSize : kCmdBlockReq;
  if (spoiled) *spoiled = corrupt || wrong;
  if (log)
    log(std::string("-> ") + Describe(sent) + (corrupt ? " (SUM corrupted)" : "") +
        (wrong ? " (wrong command)" : ""));
  return link.Send(sent, corrupt ? 1 : 0);
}

std::string Describe(const Frame& frame) {
  return std::string(CommandName(frame.cmd)) + " psn " + std::to_string(frame.psn) + " len " +
         std::to_string(frame.payload.size());
}

std::string AcceptOpening(Link& link, uint8_t cmd, const Identity& identity, FaultPlan& plan,
                          std::chrono::milliseconds timeout, const LogFn& log, bool* lineLost) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      return "no opening from the PC within " + std::to_string(timeout.count() / 1000) + " s";
    Frame f;
    switch (link.Receive(&f, left)) {
      case Link::Rx::Timeout:
        continue;
      case Link::Rx::Closed:
        *lineLost = true;
        return "the line closed";
      case Link::Rx::BadSum:
        return "the PC opened with a bad frame";
      case Link::Rx::Frame:
        break;
    }
    if (log) log("<- " + Describe(f));
    const uint8_t other = cmd == kCmdRequest ? kCmdUpReady : kCmdRequest;
    if (f.cmd == other)
      return std::string("the PC opened ") + (other == kCmdRequest ? "a download" : "an upload");
    if (f.cmd != cmd || !f.payload.empty())
      return "the PC sent " + Describe(f) + " where an opening was due";
    if (plan.openingsRefused < plan.refuseOpenings) {
      ++plan.openingsRefused;
      if (!SendCounted(link, plan, Frame{f.psn, kCmdSize, {0, 0, 0}}, log)) break;
      continue;
    }
    bool spoiled = false;
    if (!SendCounted(link, plan, Frame{f.psn, kCmdDownReady, IdentityPayload(identity)}, log,
                     &spoiled))
      break;
    if (!spoiled) return {};
  }
  *lineLost = true;
  return "the line failed";
}

bool SessionRun::Fail(std::string why) {
  if (result_.summary.empty()) result_.summary = std::move(why);
  return false;
}

bool SessionRun::LineLost(std::string why) {
  if (result_.summary.empty()) result_.lineLost = true;
  return Fail(std::move(why));
}

bool SessionRun::AcceptOpening(uint8_t cmd, const Identity& identity,
                               std::chrono::milliseconds timeout) {
  bool lost = false;
  const std::string why = sim::AcceptOpening(link_, cmd, identity, faults_, timeout, log_, &lost);
  return why.empty() || (lost ? LineLost(why) : Fail(why));
}

}  // namespace sim
