// How a run ended, for the exit status and for the last words a front end shows.
#pragma once

#include <string>

#include "penwick/console_kit/exit_codes.hpp"

namespace app {

struct Outcome {
  int exitCode = pw::cli::kExitOk;
  std::string summary;  // what happened, one sentence
  std::string advice;   // what to try (empty on success)

  bool ok() const { return exitCode == pw::cli::kExitOk; }
};

// The run's last words for people: "Done: ..." or "Failed: ... Try: ... Exit status n: ...".
std::string ClosingLine(const Outcome& outcome);

}  // namespace app
