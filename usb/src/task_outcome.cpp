// The outcome record of the file tasks: written by the worker, read after its message.
#include "task_outcome.h"

#include <mutex>

#include "HvUsb.h"

namespace hvusb {
namespace {

struct OutcomeRecord {
  std::mutex mutex;
  TaskOutcome building;  // the running task's
  TaskOutcome last;      // the last ended task's
};

// Never released, like the task buffers: a worker may still end while the process exits.
OutcomeRecord& Record() {
  static auto* record = new OutcomeRecord;
  return *record;
}

template <typename Change>
void Note(Change change) {
  OutcomeRecord& r = Record();
  std::lock_guard lock(r.mutex);
  change(r.building);
}

}  // namespace

void ResetOutcome() {
  Note([](TaskOutcome& o) { o = TaskOutcome{}; });
}

bool Failed(TaskFailure failure) {
  Note([failure](TaskOutcome& o) {
    if (o.failure == TaskFailure::kNone) o.failure = failure;
  });
  return false;
}

bool FailedLocally(TaskFailure failure, int error) {
  Note([failure, error](TaskOutcome& o) {
    if (o.failure != TaskFailure::kNone) return;
    o.failure = failure;
    o.localError = error;
  });
  return false;
}

bool FailedAnswer(const PacketCheck& check, uint32_t count, uint32_t hostReason) {
  if (count == 0) return Failed(TaskFailure::kNoAnswer);
  if (check.ok && check.packet.command == kPktCancel) return Failed(TaskFailure::kReceiverCancel);
  if (check.ok && check.packet.command == kPktFail && check.packet.payloadLength >= 4) {
    NoteReceiverReason(Get32bit(check.packet.payload));
    return Failed(TaskFailure::kReceiverFail);
  }
  Note([hostReason](TaskOutcome& o) {
    if (o.failure != TaskFailure::kNone) return;
    o.failure = TaskFailure::kBadAnswer;
    o.hostReason = hostReason;
  });
  return false;
}

void NoteSizes(uint64_t arrived, uint64_t announced) {
  Note([=](TaskOutcome& o) {
    o.arrived = arrived;
    o.announced = announced;
  });
}

void NoteMismatch(uint64_t at) {
  Note([at](TaskOutcome& o) { o.differsAt = at; });
}

void NoteReceiverReason(uint32_t reason) {
  Note([reason](TaskOutcome& o) { o.receiverReason = reason; });
}

void EndOutcome(bool ok) {
  OutcomeRecord& r = Record();
  std::lock_guard lock(r.mutex);
  if (ok) {
    r.building.failure = TaskFailure::kNone;
  } else if (r.building.failure == TaskFailure::kNone) {
    r.building.failure = TaskFailure::kBadAnswer;
  }
  r.last = r.building;
}

TaskOutcome LastTaskOutcome() {
  OutcomeRecord& r = Record();
  std::lock_guard lock(r.mutex);
  return r.last;
}

}  // namespace hvusb
