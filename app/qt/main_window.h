// The main window: the status text, the progress bar and Exit, with the service panel created
// hidden beneath them (shown for a technician). It is the controller's view: every effect the
// controller asks for lands on one of its controls, and every command it gives (a button,
// Enter, Esc, the window manager's close) goes to `command` as the control's id.
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>
#include <string>

#include "run.h"

class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;

namespace app {

class ServicePanel;

class MainWindow : public QDialog, public RunView {
 public:
  MainWindow(bool showServicePanel, std::function<void(int id)> command);

  // With nobody to see the window (a platform that shows nothing), message boxes print their
  // text to stderr and take their default button, and the open-file dialog is cancelled.
  void AnswerAlone(bool alone) { answerAlone_ = alone; }
  void ShowAbout();
  // Tells the operator what the USB driver has to say (see Libraries::UsbNote) in a box that
  // does not stop the run; a text already shown is not shown again, and an empty one changes
  // nothing. With nobody to see the window the text goes to stderr.
  void ShowNote(const std::string& text);

  QLabel* StatusText() const { return status_; }
  QProgressBar* ProgressBar() const { return progress_; }
  QPushButton* ExitButton() const { return exit_; }
  ServicePanel* Panel() const { return panel_; }
  // The button for a control id (Exit, the hidden Cancel, the panel's), or null.
  QPushButton* Button(int id) const;

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
  // RunView.
  void Note(const std::string& text) override { ShowNote(text); }
  void Waiting(std::chrono::seconds) override {}  // the status text says it

 protected:
  // Esc and the window manager's close button: the cancel command. The window closes only
  // when the controller says so.
  void reject() override;

 private:
  std::function<void(int)> command_;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* exit_ = nullptr;
  QPushButton* cancel_ = nullptr;
  ServicePanel* panel_ = nullptr;
  QPointer<QMessageBox> note_;
  std::string noteText_;
  bool answerAlone_ = false;
  bool closing_ = false;
};

// The open-file dialog's name filters from a filter text of "description|patterns|" pairs;
// "*.*" means every file, as "*" does here.
QStringList NameFilters(const std::string& filter);

}  // namespace app
