#include "window_session.h"

#include <cctype>

namespace app {
namespace {

// How long a cancelled USB session may take to report before the window closes anyway.
constexpr int kSessionEndWaitMs = 5000;

// The status text of a start-up that armed nothing: why, and what to try.
std::string NothingStarted(const Outcome& outcome) {
  std::string text = outcome.summary;
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  text += ".";
  if (!outcome.advice.empty()) text += " To go on: " + outcome.advice + ".";
  return text;
}

}  // namespace

WindowSession::WindowSession(Libraries& libraries, const CommandLine& line, bool service)
    : technicianSession_(service && line.file.empty()),
      window_(service, [this](int id) { Command(id); }),
      controller_(window_, libraries, line),
      bridge_(controller_.window()) {
  sessionEnd_.setSingleShot(true);
  sessionEnd_.setInterval(kSessionEndWaitMs);
  connect(&sessionEnd_, &QTimer::timeout, this, [this] { controller_.StopWaiting(); });
}

bool WindowSession::Start() {
  controller_.Startup();
  if (controller_.closed()) return false;
  if (controller_.phase() == RunPhase::Idle && !technicianSession_ && !controller_.outcome().ok())
    window_.SetStatusText(NothingStarted(controller_.outcome()));
  window_.show();
  return true;
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
