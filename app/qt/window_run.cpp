#include "window_run.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QThread>
#include <cstdio>
#include <memory>
#include <mutex>

#include "message_boxes.h"
#include "penwick/console_kit/stop_signal.hpp"
#include "penwick/message_box.hpp"
#include "window_session.h"

namespace app {
namespace {

QIcon ProgramIcon() {
  QIcon icon;
  icon.addFile(":/icons/penwick-upload-16.png", QSize(16, 16));
  icon.addFile(":/icons/penwick-upload-32.png", QSize(32, 32));
  return icon;
}

// Platforms that show nothing to anybody.
bool NobodySees() {
  const QString name = QGuiApplication::platformName();
  return name == "offscreen" || name == "minimal";
}

// The libraries' own boxes ("Notice") may come from a worker thread. Such a box is shown on
// the window's thread without making the worker wait for it: the window's thread may itself be
// waiting for that worker. Every such box has only an OK button. The window goes away while
// workers may still run, so they reach it only under the lock, and only while it exists.
class LibraryBoxes {
 public:
  explicit LibraryBoxes(MainWindow& window) : window_(&window) {}

  void Forget() {
    std::lock_guard lock(mutex_);
    window_ = nullptr;
  }

  int Show(const pw::MessageBoxRequest& request) {
    std::unique_lock lock(mutex_);
    MainWindow* window = window_;
    if (window != nullptr && QThread::currentThread() == window->thread()) {
      lock.unlock();  // the box's loop may run messages whose boxes come here again
      return window->MessageBox(request.text, request.caption, request.type);
    }
    if (window == nullptr) {
      std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
      return pw::DefaultButton(request.type);
    }
    QMetaObject::invokeMethod(
        window,
        [window, request] {
          if (NobodySees()) {
            window->MessageBox(request.text, request.caption, request.type);
            return;
          }
          ShowMessageBoxWithoutWaiting(window, request.text, request.caption, request.type);
        },
        Qt::QueuedConnection);
    return pw::DefaultButton(request.type);
  }

 private:
  std::mutex mutex_;
  MainWindow* window_;
};

}  // namespace

int RunWindow(const CommandLine& line, const WindowSettings& settings) {
  // Exactly the platform that was checked: Qt would abort on one that cannot start.
  qputenv("QT_QPA_PLATFORM", settings.platform.c_str());
  // Qt reads options of its own from the arguments; the program's are not for it.
  int argc = 1;
  char name[] = "PenwickUpload";
  char* argv[] = {name, nullptr};
  static const WindowSettings* starting = nullptr;
  starting = &settings;
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        if (type == QtFatalMsg && starting != nullptr && starting->cannotStart) {
          starting->cannotStart(text.toStdString());
        }
      });
  QApplication application(argc, argv);
  qInstallMessageHandler(previous);
  starting = nullptr;
  QApplication::setWindowIcon(ProgramIcon());
  QGuiApplication::setDesktopFileName("penwick-upload");

  Libraries libraries;
  int status = 0;
  {
    WindowSettings mine = settings;
    mine.nobodySees = NobodySees();
    WindowSession session(libraries, line, mine);
    // Ctrl-C and SIGTERM end the run as Exit does (a second one ends the process at once).
    pw::cli::InstallStopSignals();
    QSocketNotifier stop(pw::cli::StopSignalFd(), QSocketNotifier::Read);
    stop.setEnabled(pw::cli::StopSignalFd() >= 0);
    QObject::connect(&stop, &QSocketNotifier::activated, &session, [&] {
      stop.setEnabled(false);  // it stays readable: once is enough
      session.Signal(pw::cli::StopSignal());
    });
    MainWindow& window = session.Window();
    window.AnswerAlone(NobodySees());
    auto boxes = std::make_shared<LibraryBoxes>(window);
    pw::SetMessageBoxHandler(
        [boxes](const pw::MessageBoxRequest& request) { return boxes->Show(request); });
    if (session.Start()) {
      QObject::connect(&window, &QDialog::finished, &application, [] { QApplication::exit(0); });
      QApplication::exec();
    }
    status = session.ExitStatus();
    if (mine.nobodySees) {
      std::fprintf(stderr, "PenwickUpload: %s\n",
                   ClosingLine(session.Controller().outcome()).c_str());
    }
    pw::SetMessageBoxHandler(nullptr);
    boxes->Forget();
  }
  return status;
}

}  // namespace app
