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

Frame RequestFrame(uint8_t psn, const Identity& identity) {
  Frame f{psn, kCmdRequest, std::vector<uint8_t>(2 + identity.modelId.size())};
  Put16bit(f.payload.data(), identity.systemId);
  std::copy(identity.modelId.begin(), identity.modelId.end(), f.payload.begin() + 2);
  return f;
}

bool SendCounted(Link& link, FaultPlan& plan, const Frame& frame, const LogFn& log,
                 bool* corrupted) {
  ++plan.framesSent;
  const bool corrupt = FaultPlan::Hits(plan.corruptSum, plan.framesSent);
  if (corrupted) *corrupted = corrupt;
  if (log) log(std::string("-> ") + Describe(frame) + (corrupt ? " (SUM corrupted)" : ""));
  return link.Send(frame, corrupt ? 1 : 0);
}

std::string Describe(const Frame& frame) {
  return std::string(CommandName(frame.cmd)) + " psn " + std::to_string(frame.psn) + " len " +
         std::to_string(frame.payload.size());
}

}  // namespace sim
