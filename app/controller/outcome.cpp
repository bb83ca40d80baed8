#include "outcome.h"

namespace app {

std::string ClosingLine(const Outcome& outcome) {
  if (outcome.ok()) return "Done: " + outcome.summary + ". Exit status 0.";
  const pw::cli::ExitCodeInfo info = pw::cli::DescribeExitCode(outcome.exitCode);
  std::string text = "Failed: " + outcome.summary + ".";
  if (!outcome.advice.empty()) text += " Try: " + outcome.advice + ".";
  return text + " Exit status " + std::to_string(outcome.exitCode) + ": " + info.meaning + ".";
}

}  // namespace app
