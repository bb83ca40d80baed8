// Exit statuses of PenwickUpload and the command-line tools: one table, so a script reads the
// same number the same way whichever program it started. 0 only when the job was done.
#pragma once

#include <span>
#include <string>

namespace pw::cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitTransferFailed = 1,    // the transfer ran and failed (receiver fault, removal, ...)
  kExitUsage = 2,             // bad command line
  kExitNoTransferFile = 3,    // no transfer file given
  kExitBadTransferFile = 4,   // transfer file unreadable, incomplete or damaged
  kExitLogFile = 5,           // the log file cannot be created
  kExitPortUnavailable = 6,   // the serial port cannot be opened
  kExitUsbUnavailable = 7,    // the USB functions cannot be initialised
  kExitCancelled = 8,         // the operator cancelled (Exit, Esc, Ctrl-C, SIGTERM)
  kExitSaveFailed = 9,        // the received images could not be saved
  kExitTimedOut = 10,         // no receiver (or no transfer start) within --timeout
  kExitRefused = 11,          // the library refused to start the transfer
  kExitCannotWriteFile = 12,  // the transfer file cannot be written (checked before an upload)
};

struct ExitCodeInfo {
  int code;
  const char* name;     // short machine-readable name, for JSON output
  const char* meaning;  // one line for people
};

// Every code, in ascending order.
std::span<const ExitCodeInfo> ExitCodes();

// The entry for `code`; an unknown code gives a "failure" entry with that code.
ExitCodeInfo DescribeExitCode(int code);

// The table as indented lines ("  0  done ...") for a program's --help.
std::string ExitCodeHelp();
// The same for the codes a program can return, in the table's order.
std::string ExitCodeHelp(std::span<const int> codes);

}  // namespace pw::cli
