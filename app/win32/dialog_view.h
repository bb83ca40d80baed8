// The dialog as the run's view: every effect the controller asks for lands on one of the
// dialog's controls, and every box it shows is owned by the dialog. A box (or the open-file
// dialog) disables the dialog while it is shown and enables it again once it is answered; the
// run holds the controller's messages in between (Run), waiting in WaitWhileBoxShown.
#pragma once

#include "win32_api.h"

#include <string>

#include "run.h"

namespace app {

class DialogView : public RunView {
 public:
  explicit DialogView(HWND dialog);
  ~DialogView() override;
  DialogView(const DialogView&) = delete;
  DialogView& operator=(const DialogView&) = delete;

  // Grows the dialog to show the service panel below the operator's part.
  void ShowServicePanel();

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
  bool BoxShown() const override { return modal_ > 0; }
  // A message loop of the dialog's thread (keyboard input goes to the box) until the box has
  // been answered (the dialog is enabled again) or `done` is true.
  void WaitWhileBoxShown(const std::function<bool()>& done) override;

 private:
  HWND dialog_;
  HFONT statusFont_ = nullptr;  // a smaller font for a status text too long for its area
  int modal_ = 0;               // boxes and open-file dialogs shown now
};

// The open-file dialog's filter ("description|patterns|...||") as GetOpenFileNameA takes it:
// the same fields, each ended by a NUL, the list by one more.
std::string OpenFileFilter(const std::string& filter);

}  // namespace app
