// Faults the emulated receiver injects on request. Each fault names the frames it hits by
// their 1-based count (a retry counts as a new frame), so "3,4,5" hits one request's first
// answer and both answers to its retries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>

namespace sim {

struct FaultPlan {
  std::set<int> corruptSum;   // the SUM of these frames the receiver sends is off by one
  std::set<int> wrongCmd;     // these frames the receiver sends carry another command
  std::set<int> stalePsn;     // these answers of an upload carry the previous PSN
  std::set<int> shortBlock;   // these block answers of an upload are one byte short
  std::set<int> longBlock;    // these block answers of an upload carry 3 bytes more
  std::set<int> drop;         // upload: these answers are not sent; download: these block
                              // answers are treated as lost and the block is asked for again
  std::set<int> dropRequest;  // download: these block requests are lost on the way
  bool beyondEnd = false;     // download: also ask for a block ending one byte past the file
  int endAfter = -1;       // download: send CMD_END after this many block answers (-1: at the end)
  int refuseOpenings = 0;  // USB: the first openings are answered with CMD_SIZE

  // Counters kept by the sessions.
  int framesSent = 0;
  int answersSent = 0;
  int blockAnswers = 0;
  int requestsMade = 0;
  int openingsRefused = 0;

  static bool Hits(const std::set<int>& which, int n) { return which.count(n) != 0; }
};

}  // namespace sim
