// The dialog as the run's view: every effect the controller asks for lands on one of the
// dialog's controls, and every box it shows is owned by the dialog. While a box or the
// open-file dialog is open (a modal loop under the controller's own handler), the window's
// messages are held: they stay queued, their senders waiting, and run after the box has
// returned (the session's message handler asks HoldMessages first).
#pragma once

#include "win32_api.h"

#include <string>

#include "run.h"

namespace app {

// Posted to the dialog when a message waits for the controller's window.
inline constexpr UINT kWmRunMessages = WM_APP + 1;

class DialogView : public RunView {
 public:
  explicit DialogView(HWND dialog);
  ~DialogView() override;
  DialogView(const DialogView&) = delete;
  DialogView& operator=(const DialogView&) = delete;

  // Grows the dialog to show the service panel below the operator's part.
  void ShowServicePanel();
  // True while a modal box of the controller is open: the caller leaves the messages queued
  // and the view posts kWmRunMessages once the last box has returned.
  bool HoldMessages();

  // View.
  void AppendMessage(const std::string& entry, EntryKind kind, const std::string& allText,
                     int scrollBy) override;
  void SetStatusText(const std::string& text) override;
  void SetProgress(int percent, ProgressKind kind) override;
  void EnableControl(int controlId, bool enable) override;
  int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
  void Move(int x, int y) override;
  void Close(DialogResult result) override;
  std::optional<std::string> ChooseFileToOpen(const std::string& initialFolder,
                                              const std::string& filter) override;
  // RunView: the USB driver's note goes under the status text while the run waits.
  void Note(const std::string& text) override;
  void Waiting(std::chrono::seconds) override {}

 private:
  // Opening and closing a modal loop under the controller's handler.
  void EnterModal() { ++modal_; }
  void LeaveModal();

  HWND dialog_;
  HFONT statusFont_ = nullptr;  // a smaller font for a status text too long for its area
  int modal_ = 0;
  bool held_ = false;
};

// The open-file dialog's filter ("description|patterns|...||") as GetOpenFileNameA takes it:
// the same fields, each ended by a NUL, the list by one more.
std::string OpenFileFilter(const std::string& filter);

}  // namespace app
