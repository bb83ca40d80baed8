// Why the last file task ended as it did. The command message of a task carries only 1 or 0;
// the worker also notes here what went wrong, so a program built with the library's internal
// interface (penwick-files) can say why. Nothing of it is exported.
#pragma once

#include <cstdint>

#include "packet_format.h"

namespace hvusb {

enum class TaskFailure : uint8_t {
  kNone,             // success
  kLocalOpen,        // the local file cannot be opened or created (localError)
  kLocalRead,        // the local file cannot be read (localError)
  kLocalWrite,       // the local file cannot be written (localError)
  kReceiverFail,     // the receiver answered PKT_FAIL (receiverReason)
  kReceiverCancel,   // the receiver cancelled the transfer
  kNoAnswer,         // an answer was due and nothing came
  kBadAnswer,        // answers were damaged or out of turn (hostReason: what the host sent)
  kShortFile,        // the receiver ended before the announced size arrived (arrived, announced)
  kUnconfirmed,      // a block the receiver never acknowledged (send)
  kResumeMismatch,   // the local file is not the start of the remote one (differsAt)
  kResumeBeyondEnd,  // the local file is longer than the remote one (announced)
  kCancelled,        // the task cancel flag (UsbTaskCancel or device removal)
};

struct TaskOutcome {
  TaskFailure failure = TaskFailure::kNone;
  uint32_t receiverReason = 0;  // kReceiverFail: the receiver's own reason
  uint32_t hostReason = 0;      // kBadAnswer: the reason the host sent in its PKT_FAIL
  int localError = 0;           // kLocal*: the system's error number (errno)
  uint64_t arrived = 0;         // receive: the end of the data that arrived
  uint64_t announced = 0;       // receive: the size the file information announced
  uint64_t differsAt = 0;       // kResumeMismatch: first byte that differs
};

// Worker side. A new task starts with an empty outcome; the first failure noted stays.
void ResetOutcome();
// Notes `failure` and returns false, so a worker can `return Failed(...)`.
bool Failed(TaskFailure failure);
bool FailedLocally(TaskFailure failure, int error);
// Notes why `check` is not the answer that was due: the receiver's PKT_FAIL or PKT_CANCEL,
// nothing at all, or a damaged or unexpected packet (answered with `hostReason`).
bool FailedAnswer(const PacketCheck& check, uint32_t count, uint32_t hostReason);
void NoteSizes(uint64_t arrived, uint64_t announced);
void NoteMismatch(uint64_t at);
void NoteReceiverReason(uint32_t reason);
// Fixes the outcome of the task that is ending: success clears any failure noted on the way,
// a failure without a note becomes kBadAnswer.
void EndOutcome(bool ok);

// Reader side: the outcome of the last task that ended, complete once its message is posted.
TaskOutcome LastTaskOutcome();

}  // namespace hvusb
