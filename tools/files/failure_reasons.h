// Why a transfer of penwick-files failed: the reasons a user can act on, each with one line of
// words and an exit status of the shared table. One table holds them all.
#pragma once

#include <cstdint>
#include <string>

#include "task_outcome.h"

namespace penwick_files {

enum class Reason {
  kDiskFull,         // the local disk (or the user's quota) is full
  kReadOnlyFolder,   // no file can be created in LOCAL's folder
  kLocalIsFolder,    // LOCAL names a folder
  kLocalCreate,      // LOCAL cannot be created for another reason
  kLocalWrite,       // LOCAL cannot be written for another reason
  kLocalRead,        // the file to send cannot be read
  kNoRemoteFile,     // the receiver has no file of that name
  kNameRefused,      // the receiver does not take the name
  kReceiverRefused,  // the receiver refused with a reason of its own
  kBeyondEnd,        // --resume starts beyond the remote file's end
  kResumeMismatch,   // --resume onto a file that is not the start of the remote one
  kShortFile,        // the receiver ended the transfer before the whole file came
  kReceiverGone,     // the receiver went away
  kNoAnswer,         // the receiver stopped answering
  kBadAnswers,       // the receiver's answers were damaged or out of turn
  kReceiverCancel,   // the receiver cancelled the transfer
  kUnconfirmed,      // the receiver did not confirm every block it was sent
  kCancelled,        // the user cancelled (Ctrl-C)
};

// What a failure line needs besides the reason.
struct Context {
  std::string local;
  std::string remote;
  int error = 0;        // errno of a local failure
  uint32_t number = 0;  // the receiver's or the host's reason
  uint64_t at = 0;      // a byte position or count
  uint64_t of = 0;      // the remote file's size
};

struct Explained {
  std::string line;  // one line, without "penwick-files: "
  int exitCode;
};

Explained Explain(Reason reason, const Context& context);

// The reason for a task's outcome. `removed`: the receiver went away meanwhile.
Reason ReasonOf(const hvusb::TaskOutcome& outcome, bool removed, bool receive);
// Fills the context's numbers from the outcome.
void AddOutcome(const hvusb::TaskOutcome& outcome, Context* context);

}  // namespace penwick_files
