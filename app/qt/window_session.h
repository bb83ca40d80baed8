// One run of the program in the window: the main window as the controller's view, the
// controller, and the bridge that brings the libraries' messages onto the window's thread.
// Start-up, the commands of the window's controls, the closing rule's bounded wait for a
// cancelled USB session, and the exit status.
#pragma once

#include <QObject>
#include <QTimer>

#include "command_line.h"
#include "controller.h"
#include "main_window.h"
#include "message_bridge.h"
#include "window_run.h"

namespace app {

class WindowSession : public QObject {
 public:
  // With `settings.service` the service panel is shown, and a run without a transfer file is
  // a technician's session, which ends with success. `settings.timeoutSeconds` ends a run whose
  // transfer has not begun that long after start-up.
  WindowSession(Libraries& libraries, const CommandLine& line, const WindowSettings& settings);

  // Runs start-up. True when the window is to stay open (it is then shown); false when the
  // run has already ended.
  bool Start();
  // A command of the window: a button's id, OK (Exit, Enter) or cancel (Esc, close button).
  void Command(int id);
  // Ends the run from outside the window (a stop signal) like Exit, with this outcome.
  void Stop(Outcome why);

  MainWindow& Window() { return window_; }
  UploadController& Controller() { return controller_; }
  int ExitStatus() const;

 private:
  void WaitForSessionEnd();
  // While a USB transfer waits for its receiver: what the driver has to say, shown.
  void ShowUsbNote();

  Libraries& libraries_;
  const bool technicianSession_;
  const bool usb_;
  const std::optional<double> timeoutSeconds_;
  MainWindow window_;
  UploadController controller_;
  MessageBridge bridge_;
  QTimer sessionEnd_;
  QTimer timeout_;
  QTimer usbNote_;
};

}  // namespace app
