// The words and exit statuses of penwick-files' failures, and the reason for a task's outcome.
#include "failure_reasons.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "penwick/console_kit/exit_codes.hpp"

namespace penwick_files {
namespace {

using namespace pw::cli;
using hvusb::TaskFailure;

// The receiver's own reasons that the tool tells apart; any other is shown as its number.
constexpr uint32_t kReceiverNoFile = 2;
constexpr uint32_t kReceiverBadName = 3;
constexpr uint32_t kReceiverBeyondEnd = 9;

// In the words: {local}, {remote}, {folder} (LOCAL's), {error} (the system's words),
// {number}, {at}, {of}.
struct Entry {
  Reason reason;
  int exitCode;
  const char* words;
};

constexpr Entry kTable[] = {
    {Reason::kDiskFull, kExitSaveFailed, "the disk is full: {local} cannot be written"},
    {Reason::kReadOnlyFolder, kExitSaveFailed,
     "the folder {folder} is read-only: {local} cannot be created"},
    {Reason::kLocalIsFolder, kExitUsage, "{local} is a folder"},
    {Reason::kLocalCreate, kExitSaveFailed, "cannot create {local}: {error}"},
    {Reason::kLocalWrite, kExitSaveFailed, "cannot write {local}: {error}"},
    {Reason::kLocalRead, kExitTransferFailed, "cannot read {local}: {error}"},
    {Reason::kNoRemoteFile, kExitTransferFailed, "the receiver has no file {remote}"},
    {Reason::kNameRefused, kExitTransferFailed,
     "the receiver refused the name {remote} (reason {number})"},
    {Reason::kReceiverRefused, kExitTransferFailed, "the receiver refused (reason {number})"},
    {Reason::kBeyondEnd, kExitTransferFailed,
     "--resume starts beyond the end of {remote}: {local} is longer than it"},
    {Reason::kResumeMismatch, kExitTransferFailed,
     "{local} is not the start of {remote}: they differ at byte {at} (--force starts again)"},
    {Reason::kShortFile, kExitTransferFailed,
     "the receiver ended the transfer after {at} of {of} bytes"},
    {Reason::kReceiverGone, kExitTransferFailed, "the receiver went away"},
    {Reason::kNoAnswer, kExitTransferFailed, "the receiver stopped answering"},
    {Reason::kBadAnswers, kExitTransferFailed,
     "the receiver's answers were damaged or out of turn (host reason {number})"},
    {Reason::kReceiverCancel, kExitTransferFailed, "the receiver cancelled the transfer"},
    {Reason::kUnconfirmed, kExitTransferFailed, "the receiver did not confirm every block"},
    {Reason::kCancelled, kExitCancelled, "cancelled"},
};

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void Replace(std::string* text, const std::string& name, const std::string& value) {
  for (size_t at = text->find(name); at != std::string::npos;
       at = text->find(name, at + value.size())) {
    text->replace(at, name.size(), value);
  }
}

// The errors that mean "no room"; the Windows C runtime has no quotas.
constexpr int kNoRoom[] = {ENOSPC, EFBIG,
#ifdef EDQUOT
                           EDQUOT
#endif
};

Reason LocalReason(TaskFailure failure, int error) {
  if (std::find(std::begin(kNoRoom), std::end(kNoRoom), error) != std::end(kNoRoom))
    return Reason::kDiskFull;
  if (error == EISDIR) return Reason::kLocalIsFolder;
  if (failure == TaskFailure::kLocalRead) return Reason::kLocalRead;
  if (failure == TaskFailure::kLocalWrite) return Reason::kLocalWrite;
  if (error == EROFS || error == EACCES || error == EPERM) return Reason::kReadOnlyFolder;
  return Reason::kLocalCreate;
}

}  // namespace

Explained Explain(Reason reason, const Context& context) {
  for (const Entry& entry : kTable) {
    if (entry.reason != reason) continue;
    std::string line = entry.words;
    Replace(&line, "{local}", context.local);
    Replace(&line, "{remote}", context.remote);
    Replace(&line, "{folder}", FolderOf(context.local));
    Replace(&line, "{error}", std::strerror(context.error));
    Replace(&line, "{number}", std::to_string(context.number));
    Replace(&line, "{at}", std::to_string(context.at));
    Replace(&line, "{of}", std::to_string(context.of));
    return {line, entry.exitCode};
  }
  return {"failed", kExitTransferFailed};
}

Reason ReasonOf(const hvusb::TaskOutcome& outcome, bool removed, bool receive) {
  if (removed) return Reason::kReceiverGone;
  switch (outcome.failure) {
    case TaskFailure::kLocalOpen:
      // A send opens an existing file; a receive creates one or opens it for --resume.
      if (!receive) return LocalReason(TaskFailure::kLocalRead, outcome.localError);
      return LocalReason(TaskFailure::kLocalOpen, outcome.localError);
    case TaskFailure::kLocalRead:
    case TaskFailure::kLocalWrite:
      return LocalReason(outcome.failure, outcome.localError);
    case TaskFailure::kReceiverFail:
      switch (outcome.receiverReason) {
        case kReceiverNoFile:
          return receive ? Reason::kNoRemoteFile : Reason::kReceiverRefused;
        case kReceiverBadName:
          return Reason::kNameRefused;
        case kReceiverBeyondEnd:
          return receive ? Reason::kBeyondEnd : Reason::kReceiverRefused;
        default:
          return Reason::kReceiverRefused;
      }
    case TaskFailure::kReceiverCancel:
      return Reason::kReceiverCancel;
    case TaskFailure::kNoAnswer:
      return Reason::kNoAnswer;
    case TaskFailure::kShortFile:
      return Reason::kShortFile;
    case TaskFailure::kUnconfirmed:
      return Reason::kUnconfirmed;
    case TaskFailure::kResumeMismatch:
      return Reason::kResumeMismatch;
    case TaskFailure::kResumeBeyondEnd:
      return Reason::kBeyondEnd;
    case TaskFailure::kCancelled:
      return Reason::kCancelled;
    case TaskFailure::kNone:
    case TaskFailure::kBadAnswer:
      break;
  }
  return Reason::kBadAnswers;
}

void AddOutcome(const hvusb::TaskOutcome& outcome, Context* context) {
  context->error = outcome.localError;
  context->number =
      outcome.failure == TaskFailure::kReceiverFail ? outcome.receiverReason : outcome.hostReason;
  context->at =
      outcome.failure == TaskFailure::kResumeMismatch ? outcome.differsAt : outcome.arrived;
  context->of = outcome.announced;
}

}  // namespace penwick_files
