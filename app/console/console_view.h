// The console front end's view: status changes as lines, transfer progress as one bar
// (redrawn in place on a terminal, plain lines on a pipe), message boxes printed and answered,
// the driver's notes; message-list entries only when verbose. With --json one JSON object per
// effect on stdout, message-list entries always (the text for people then goes to stderr). Safe to
// call from any thread: the libraries' own message boxes come from their workers.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "outcome.h"
#include "penwick/console_kit/progress_line.hpp"
#include "penwick/message_box.hpp"
#include "run.h"

namespace app {

class ConsoleView : public RunView {
 public:
  // `human` gets the text for people; `json` (or null) the JSON lines. `askOnTerminal`: a box
  // with a choice is asked on the terminal (standard input) rather than answered by default.
  // `verbose`: message-list entries are shown to people too.
  ConsoleView(std::FILE* human, bool humanIsTerminal, std::FILE* json, bool askOnTerminal,
              bool verbose = false);

  void AppendMessage(const std::string& entry, EntryKind kind, const std::string& allText,
                     int scrollBy) override;
  void SetStatusText(const std::string& text) override;
  void SetProgress(int percent, ProgressKind kind) override;
  void EnableControl(int, bool) override {}
  int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
  void Move(int, int) override {}
  void Close(DialogResult) override {}
  std::optional<std::string> ChooseFileToOpen(const std::string&, const std::string&) override {
    return std::nullopt;
  }

  // Any message box of the process (installed as the platform's handler).
  int Answer(const pw::MessageBoxRequest& request);
  // How long the run has waited for the receiver (a live line).
  void Waiting(std::chrono::seconds waited) override;
  // A note from the USB driver (its settings, an open it was refused), once per text.
  void Note(const std::string& text) override;
  // The last words: whether the run did its job, and if not why and what to try.
  void Result(const Outcome& outcome);

 private:
  void Line(const std::string& text);  // a permanent line for people
  void Json(const std::string& line);

  std::mutex mutex_;
  pw::cli::ProgressLine human_;
  std::FILE* json_;
  bool askOnTerminal_;
  bool verbose_;
  std::string progressText_;  // the status text the bar shows
  bool waitingShown_ = false;
  std::string lastNote_;
};

}  // namespace app
