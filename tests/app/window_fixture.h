// The window under test: a WindowSession over scripted libraries (the controller fixture's),
// on the offscreen platform, with helpers to run the loop until a condition holds, to act on
// the next modal dialog, and to send notices from a worker thread as a library session does.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controller_fixture.h"
#include "window_session.h"

namespace apptest {

// Runs the event loop until `done` holds or a minute has passed; true when `done` holds.
bool RunUntil(const std::function<bool()>& done);

// Acts on the next modal dialog (a message box, the file dialog, the about box) once it is
// open; true when one opened within a minute.
class NextModal {
 public:
  explicit NextModal(std::function<void(QWidget*)> act);
  bool Done() const { return *done_; }

 private:
  std::shared_ptr<bool> done_ = std::make_shared<bool>(false);
};

class WindowTest : public ControllerTest {
 protected:
  void TearDown() override;

  // A session over `args` (the program's arguments), started; `service` shows the panel.
  app::WindowSession& StartWindow(const std::vector<std::string>& args, bool service = false,
                                  std::optional<double> timeoutSeconds = std::nullopt);
  // Sends a notice from a worker thread and runs the loop until the worker's send returned.
  void NoticeFromWorker(int code, intptr_t value = 0);
  // A transfer file of sample images, "settings.dat" in the test's folder.
  void WriteTransferFile();
  void Click(int id);
  // The receiver arrives, as the driver's device-change message says.
  void Arrive();

  std::unique_ptr<app::WindowSession> session;
  Images images;
};

// The image of a widget as drawn, and where it was saved under the build folder's
// screenshots/ (the README's pictures come from there).
QImage Screenshot(QWidget& widget, const std::string& name);

}  // namespace apptest
