// Faults the emulated receiver injects on request. Counts are 1-based; 0 means never.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

struct FaultPlan {
  int corruptSum = 0;      // the SUM of the Nth frame the receiver sends is off by one (once)
  int stalePsn = 0;        // the Nth answer of an upload carries the previous PSN
  int shortBlock = 0;      // the Nth block answer of an upload is one byte short
  int drop = 0;            // upload: the Nth answer is not sent; download: the Nth block answer
                           // that arrives is treated as lost and the block is asked for again
  bool beyondEnd = false;  // download: also ask for a block ending one byte past the file

  // Counters kept by the sessions.
  int framesSent = 0;
  int answersSent = 0;
  int blockAnswers = 0;

  bool Any() const { return corruptSum || stalePsn || shortBlock || drop || beyondEnd; }
};

}  // namespace sim
