// How the run ends: its outcome, Exit and Esc, a stop from outside, and closing the window.
#include "controller.h"

namespace app {

namespace {

Outcome Cancelled() {
  return {pw::cli::kExitCancelled, "the transfer was cancelled",
          "run it again when the receiver is ready"};
}

}  // namespace

Outcome UploadController::outcome() const {
  if (outcome_) return *outcome_;
  return {pw::cli::kExitTransferFailed, "nothing was transferred", ""};
}

void UploadController::Fail(Outcome outcome) {
  if (!outcome_) outcome_ = std::move(outcome);
}

void UploadController::Finish(Outcome outcome) {
  const bool ending = phase_ == RunPhase::Ending;
  // After a cancel only a transfer that completed all the same changes what is reported.
  if (!ending || outcome.ok()) outcome_ = std::move(outcome);
  if (phase_ == RunPhase::Starting) return;
  if (ending) {
    Close(*closeWith_);
    return;
  }
  phase_ = RunPhase::Ended;
  if (outcome_->ok()) Close(DialogResult::Ok);
}

void UploadController::Close(DialogResult result) {
  if (closed()) return;
  closeWith_ = result;
  if (phase_ == RunPhase::Starting) return;  // start-up closes when it has finished
  phase_ = RunPhase::Ended;
  view_.Close(result);
  // Late notices (a worker in its final pause) are dropped from now on.
  window_->Close();
}

bool UploadController::UsbSessionRunning() const {
  return phase_ == RunPhase::Running && run_.mode != RunMode::SerialDownload;
}

void UploadController::EndRun(Outcome why, DialogResult result) {
  switch (phase_) {
    case RunPhase::Armed:
    case RunPhase::Running:
      outcome_ = std::move(why);
      if (UsbSessionRunning()) {
        // The session ends at its next check and reports; its notice closes the window.
        libs_.CancelUsbFunc();
        closeWith_ = result;
        phase_ = RunPhase::Ending;
        return;
      }
      OnSerialClose();
      Close(result);
      return;
    case RunPhase::Ending:
      StopWaiting();  // asked again: no more waiting
      return;
    case RunPhase::Starting:
    case RunPhase::Ended:
      Close(result);
      return;
  }
}

void UploadController::OnOk() {
  EndRun(Cancelled(), DialogResult::Ok);
}

void UploadController::OnCancel() {
  EndRun(Cancelled(), DialogResult::Cancel);
}

void UploadController::Stop(Outcome why) {
  EndRun(std::move(why), DialogResult::Cancel);
}

void UploadController::StopWaiting() {
  if (phase_ == RunPhase::Ending) Close(*closeWith_);
}

}  // namespace app
