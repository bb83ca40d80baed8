#include "window_session.h"

#include <cctype>

#include "stop_reasons.h"

namespace app {
namespace {

// The status text of a start-up that armed nothing: why, and what to try.
std::string NothingStarted(const Outcome& outcome) {
  std::string text = outcome.summary;
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  text += ".";
  if (!outcome.advice.empty()) text += " To go on: " + outcome.advice + ".";
  return text;
}

}  // namespace

WindowSession::WindowSession(Libraries& libraries, const CommandLine& line,
                             const WindowSettings& settings)
    : libraries_(libraries),
      technicianSession_(settings.service && line.file.empty()),
      usb_(SelectRun(line.port).mode != RunMode::SerialDownload),
      timeoutSeconds_(settings.timeoutSeconds),
      window_(settings.service, [this](int id) { Command(id); }),
      controller_(window_, libraries, line),
      bridge_(controller_.window()) {
  sessionEnd_.setSingleShot(true);
  sessionEnd_.setInterval(std::chrono::milliseconds(kSessionEndWait));
  connect(&sessionEnd_, &QTimer::timeout, this, [this] { controller_.StopWaiting(); });
  timeout_.setSingleShot(true);
  connect(&timeout_, &QTimer::timeout, this, [this] {
    if (controller_.phase() == RunPhase::Armed) Stop(TimedOut(*timeoutSeconds_, usb_));
  });
  // A receiver that cannot be opened says so only when it arrives: look again each second.
  usbNote_.setInterval(std::chrono::seconds(1));
  connect(&usbNote_, &QTimer::timeout, this, [this] { ShowUsbNote(); });
}

bool WindowSession::Start() {
  controller_.Startup();
  if (controller_.closed()) return false;
  if (controller_.phase() == RunPhase::Idle && !technicianSession_ && !controller_.outcome().ok())
    window_.SetStatusText(NothingStarted(controller_.outcome()));
  if (timeoutSeconds_ && controller_.phase() == RunPhase::Armed) {
    timeout_.start(std::chrono::milliseconds(static_cast<long long>(*timeoutSeconds_ * 1000)));
  }
  window_.show();
  if (usb_ && controller_.phase() == RunPhase::Armed) {
    ShowUsbNote();
    usbNote_.start();
  }
  return true;
}

void WindowSession::ShowUsbNote() {
  if (controller_.phase() != RunPhase::Armed) {
    usbNote_.stop();
    return;
  }
  window_.ShowNote(libraries_.UsbNote());
}

void WindowSession::Command(int id) {
  pw::Message command;
  command.code = static_cast<uint32_t>(id);
  pw::SendMessage(controller_.handle(), command);
  WaitForSessionEnd();
}

void WindowSession::Stop(Outcome why) {
  controller_.Stop(std::move(why));
  WaitForSessionEnd();
}

void WindowSession::WaitForSessionEnd() {
  if (controller_.WaitingForSessionEnd() && !sessionEnd_.isActive()) sessionEnd_.start();
}

int WindowSession::ExitStatus() const {
  const Outcome& outcome = controller_.outcome();
  if (technicianSession_ && outcome.exitCode == pw::cli::kExitNoTransferFile) return 0;
  return outcome.exitCode;
}

}  // namespace app
