// One run of the program in the dialog: the dialog created from its template, the view over
// it, the run, and the dialog procedure that hands the dialog's commands to the run. The
// controller's window is a window of the dialog's thread too: the system delivers the workers'
// notices and the device changes to it from the dialog's message loop (where the thread sleeps
// in GetMessage until something comes), from a box's modal loop, or from the run's wait while
// a box is shown.
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

  // Null when the dialog could not be created (then nothing else may be called).
  HWND Dialog() const { return dialog_; }
  DialogView& View() { return view_; }
  Run& TheRun() { return run_; }

  // The dialog procedure: hands the dialog's messages to the session stored with the dialog.
  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);

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
