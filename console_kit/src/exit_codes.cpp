// The exit-code table and its text forms.
#include "penwick/console_kit/exit_codes.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

namespace pw::cli {
namespace {

constexpr std::array<ExitCodeInfo, 13> kTable{{
    {kExitOk, "ok", "done: the transfer completed (and its result was saved)"},
    {kExitTransferFailed, "transfer-failed", "the transfer ran and failed"},
    {kExitUsage, "usage", "bad command line"},
    {kExitNoTransferFile, "no-transfer-file", "no transfer file given"},
    {kExitBadTransferFile, "bad-transfer-file", "transfer file unreadable, incomplete or damaged"},
    {kExitLogFile, "log-file", "the log file cannot be created"},
    {kExitPortUnavailable, "port-unavailable", "the serial port cannot be opened"},
    {kExitUsbUnavailable, "usb-unavailable", "USB functions unavailable"},
    {kExitCancelled, "cancelled", "cancelled by the operator"},
    {kExitSaveFailed, "save-failed", "the received data could not be saved"},
    {kExitTimedOut, "timed-out", "timed out waiting for the receiver"},
    {kExitRefused, "refused", "the library refused to start the transfer"},
    {kExitCannotWriteFile, "cannot-write-file",
     "the transfer file cannot be written (nothing was read)"},
}};

}  // namespace

std::span<const ExitCodeInfo> ExitCodes() {
  return kTable;
}

ExitCodeInfo DescribeExitCode(int code) {
  for (const ExitCodeInfo& info : kTable) {
    if (info.code == code) return info;
  }
  return {code, "failure", "failure"};
}

std::string ExitCodeHelp() {
  std::string text;
  for (const ExitCodeInfo& info : kTable) text += ExitCodeHelp(std::span(&info.code, 1));
  return text;
}

std::string ExitCodeHelp(std::span<const int> codes) {
  std::string text;
  for (const ExitCodeInfo& info : kTable) {
    if (std::find(codes.begin(), codes.end(), info.code) == codes.end()) continue;
    char line[128];
    std::snprintf(line, sizeof line, "  %2d  %s\n", info.code, info.meaning);
    text += line;
  }
  return text;
}

}  // namespace pw::cli
