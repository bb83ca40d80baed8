// One run of the program as every front end drives it: the controller, and the policy around
// its lifecycle that does not depend on the toolkit: --timeout, the bounded wait for a
// cancelled USB session, the USB driver's notes while waiting, "Cancelling..." at a stop,
// what the window shows when the run ended without doing its job, and the exit status. A
// front end renders the view, forwards commands and stop signals, and calls Tick regularly.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "command_line.h"
#include "controller.h"

namespace app {

// The view of a run: the controller's effects and what the run's policy adds.
class RunView : public View {
 public:
  // A note from the USB driver while the run waits for a receiver (each text once).
  virtual void Note(const std::string& text) = 0;
  // How long the run has waited for the receiver.
  virtual void Waiting(std::chrono::seconds waited) = 0;

  // A front end whose boxes run a modal loop of the window's thread (the loop delivers the
  // window's messages) says so: BoxShown is true while the controller's box or open-file
  // dialog is shown, and WaitWhileBoxShown runs that thread's messages until the operator has
  // answered the box or `done` is true. The run then holds the messages that arrive during a
  // box (see Run). Without them a message is handled as it arrives.
  virtual bool BoxShown() const { return false; }
  virtual void WaitWhileBoxShown(const std::function<bool()>& done) { static_cast<void>(done); }
};

struct RunSettings {
  std::optional<double> timeoutSeconds;  // from arming until a transfer begins
  bool service = false;                  // the service panel is shown
  // A run that ended without doing its job stays open, its status text saying why, until
  // the operator ends it (a window somebody sees); otherwise it ends at once.
  bool staysOpenAfterFailure = false;
};

// The status text of a run that ended without doing its job: why, and what to try.
std::string EndStatusText(const Outcome& outcome);

class Run {
 public:
  using Clock = std::chrono::steady_clock;

  Run(RunView& view, Libraries& libraries, const CommandLine& line, RunSettings settings,
      std::function<Clock::time_point()> now = Clock::now);
  // Releases the USB device of a USB run (see Libraries::ReleaseUsbDevice).
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // Start-up.
  void Start();
  // A command of the window (a control's id, OK, cancel), as its window message.
  void Command(int id);
  // A stop signal (SIGINT, SIGTERM): the first ends the run as Exit does; a later one ends
  // it at once, without waiting for a cancelled session.
  void Signal(int signal);
  // Regularly (a few times a second): the time-out, the end of the wait for a cancelled
  // session, the driver's notes.
  void Tick();

  // The front end ends: the window was closed, or the run ended and nothing stays open.
  bool Over() const;
  int ExitStatus() const;
  UploadController& controller() { return controller_; }
  const UploadController& controller() const { return controller_; }

 private:
  // Reacts to the controller's phase after every event.
  void Follow();
  // The window's messages, through the hold while a box is shown.
  intptr_t Deliver(const pw::Message& message);
  struct Held;
  bool Usb() const { return controller_.selection().mode != RunMode::SerialDownload; }

  RunView& view_;
  Libraries& libraries_;
  const RunSettings settings_;
  const bool technician_;
  std::function<Clock::time_point()> now_;
  UploadController controller_;
  RunPhase seen_ = RunPhase::Starting;
  Clock::time_point armedAt_{};
  Clock::time_point endingSince_{};
  int signals_ = 0;
  std::string lastNote_;
  std::deque<std::shared_ptr<Held>> held_;  // messages that came while a box was shown
};

}  // namespace app
