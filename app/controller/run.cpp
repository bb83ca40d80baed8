#include "run.h"

#include <cctype>

#include "stop_reasons.h"

namespace app {

std::string EndStatusText(const Outcome& outcome) {
  std::string text = outcome.summary;
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  text += ".";
  if (!outcome.advice.empty()) text += " To go on: " + outcome.advice + ".";
  return text;
}

struct Run::Held {
  pw::Message message;
  intptr_t result = 0;
  bool done = false;
};

Run::Run(RunView& view, Libraries& libraries, const CommandLine& line, RunSettings settings,
         std::function<Clock::time_point()> now)
    : view_(view),
      libraries_(libraries),
      settings_(settings),
      technician_(settings.service && line.file.empty()),
      now_(std::move(now)),
      controller_(view, libraries, line) {
  controller_.SetMessageGate([this](const pw::Message& message) { return Deliver(message); });
}

intptr_t Run::Deliver(const pw::Message& message) {
  if (!view_.BoxShown()) return controller_.Handle(message);
  auto mine = std::make_shared<Held>();
  mine->message = message;
  held_.push_back(mine);
  // Until the operator has answered the box; an inner wait (a message that came while this one
  // waited) may have handled this one already.
  view_.WaitWhileBoxShown([&mine] { return mine->done; });
  while (!mine->done && !held_.empty()) {
    const std::shared_ptr<Held> next = held_.front();
    held_.pop_front();
    next->result = controller_.Handle(next->message);
    next->done = true;
  }
  return mine->result;
}

Run::~Run() {
  if (Usb()) libraries_.ReleaseUsbDevice();
}

void Run::Start() {
  controller_.Startup();
  Follow();
  Tick();
}

void Run::Command(int id) {
  pw::Message command;
  command.code = static_cast<uint32_t>(id);
  pw::SendMessage(controller_.handle(), command);
  Follow();
}

void Run::Signal(int signal) {
  if (signals_++ == 0) {
    controller_.Stop(StoppedBy(signal));
  } else {
    controller_.StopWaiting();
  }
  Follow();
}

void Run::Tick() {
  Follow();
  const Clock::time_point now = now_();
  switch (controller_.phase()) {
    case RunPhase::Armed:
      if (settings_.timeoutSeconds &&
          now - armedAt_ >= std::chrono::duration<double>(*settings_.timeoutSeconds)) {
        controller_.Stop(TimedOut(*settings_.timeoutSeconds, Usb()));
        Follow();
        return;
      }
      view_.Waiting(std::chrono::duration_cast<std::chrono::seconds>(now - armedAt_));
      if (Usb()) {
        const std::string note = libraries_.UsbNote();
        if (!note.empty() && note != lastNote_) view_.Note(note);
        lastNote_ = note;
      }
      return;
    case RunPhase::Ending:
      if (now - endingSince_ >= kSessionEndWait) {
        controller_.StopWaiting();
        Follow();
      }
      return;
    default:
      return;
  }
}

void Run::Follow() {
  const RunPhase phase = controller_.phase();
  if (phase == seen_) return;
  seen_ = phase;
  switch (phase) {
    case RunPhase::Armed:
      armedAt_ = now_();
      return;
    case RunPhase::Ending:
      endingSince_ = now_();
      view_.SetStatusText("Cancelling\u2026 (waiting for the receiver's session to end)");
      return;
    case RunPhase::Ended:
      if (controller_.closed() || technician_ || controller_.outcome().ok()) return;
      if (settings_.staysOpenAfterFailure) {
        view_.SetStatusText(EndStatusText(controller_.outcome()));
      } else {
        controller_.OnCancel();  // the run has ended: its outcome stays
      }
      return;
    default:
      return;
  }
}

bool Run::Over() const {
  return controller_.closed();
}

int Run::ExitStatus() const {
  const Outcome outcome = controller_.outcome();
  if (technician_ && outcome.exitCode == pw::cli::kExitNoTransferFile) return 0;
  return outcome.exitCode;
}

}  // namespace app
