// One run of the program in the window: the main window as the run's view, the run, and the
// bridge that brings the libraries' messages onto the window's thread. The window forwards
// its commands and stop signals to the run and ticks it; the run's policy does the rest.
#pragma once

#include <QObject>
#include <QTimer>

#include "command_line.h"
#include "main_window.h"
#include "message_bridge.h"
#include "run.h"
#include "window_run.h"

namespace app {

class WindowSession : public QObject {
 public:
  WindowSession(Libraries& libraries, const CommandLine& line, const WindowSettings& settings);

  // Runs start-up. True when the window is to stay open (it is then shown); false when the
  // run has already ended.
  bool Start();
  // A command of the window: a button's id, OK (Exit, Enter) or cancel (Esc, close button).
  void Command(int id);
  // A stop signal (SIGINT, SIGTERM).
  void Signal(int signal);

  MainWindow& Window() { return window_; }
  UploadController& Controller() { return run_.controller(); }
  int ExitStatus() const { return run_.ExitStatus(); }

 private:
  MainWindow window_;
  Run run_;
  MessageBridge bridge_;
  QTimer tick_;
};

}  // namespace app
