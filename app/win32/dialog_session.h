// One run of the program in the dialog: the dialog created from its template, the view over
// it, the run, and the dialog procedure that hands the dialog's commands to the run. The
// controller's window is served on the dialog's thread: a worker's message wakes the message
// loop with kWmRunMessages (the dialog thread sleeps in GetMessage until then), and the
// procedure runs the queued messages unless a box of the controller is open.
#pragma once

#include "win32_api.h"

#include "dialog_view.h"
#include "libraries.h"
#include "run.h"

namespace app {

struct DialogSettings {
  bool service = false;                  // show the service panel
  std::optional<double> timeoutSeconds;  // from the end of start-up until a transfer begins
};

class DialogSession {
 public:
  DialogSession(Libraries& libraries, const CommandLine& line, const DialogSettings& settings);
  ~DialogSession();
  DialogSession(const DialogSession&) = delete;
  DialogSession& operator=(const DialogSession&) = delete;

  // Runs start-up. True when the dialog is to stay open (it is then shown); false when the
  // run has already ended.
  bool Start();
  // The message loop, until the run is over. Returns the exit status.
  int Loop();

  HWND Dialog() const { return dialog_; }
  DialogView& View() { return view_; }
  Run& TheRun() { return run_; }

  // The dialog procedure: hands the dialog's messages to the session stored with the dialog.
  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void RunMessages();

  HWND dialog_;
  DialogView view_;
  Run run_;
  HICON icon_;
};

// The program icon at a size (the system's large or small icon size).
HICON ProgramIcon(int size);
// The about box, modal over `owner`.
void ShowAbout(HWND owner);

}  // namespace app
