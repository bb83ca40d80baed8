// How the run ends: its outcome, Exit and Esc, a stop from outside, and closing the window.
#include "controller.h"

namespace app {

namespace {

Outcome Cancelled() {
  return {pw::cli::kExitCancelled, "the transfer was cancelled",
          "run it again when the receiver is ready"};
}

}  // namespace

void UploadController::Fail(Outcome outcome) {
  if (outcomeSet_) return;
  outcome_ = std::move(outcome);
  outcomeSet_ = true;
}

void UploadController::Finish(Outcome outcome) {
  phase_ = RunPhase::Finished;
  // After a cancel only a transfer that completed all the same changes what is reported.
  if (cancelRequested_ && !outcome.ok()) return;
  outcome_ = std::move(outcome);
  outcomeSet_ = true;
}

void UploadController::Close(DialogResult result) {
  if (inStartup_) {
    closeAfterStartup_ = result;
    return;
  }
  if (closed_) return;
  closed_ = true;
  closeWhenUsbEnds_.reset();
  view_.Close(result);
  // Late notices (a worker in its final pause) are dropped from now on.
  window_->Close();
}

void UploadController::EndRun(Outcome why, DialogResult result) {
  if (phase_ == RunPhase::Armed || phase_ == RunPhase::Running) {
    Finish(std::move(why));
    cancelRequested_ = true;
    state_->usbDownloadPending = false;
    state_->usbUploadPending = false;
    if (usbSessionRunning_) {
      // The session ends at its next check and reports; its notice closes the window.
      libs_.CancelUsbFunc();
      closeWhenUsbEnds_ = result;
      return;
    }
    OnSerialClose();
  }
  Close(result);
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
  if (closeWhenUsbEnds_) Close(*closeWhenUsbEnds_);
}

}  // namespace app
