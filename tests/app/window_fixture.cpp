#include "window_fixture.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <future>
#include <thread>

namespace apptest {

bool RunUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

NextModal::NextModal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer(qApp);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, act, done = done_, deadline] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr && std::chrono::steady_clock::now() < deadline) return;
    timer->deleteLater();
    timer->stop();
    if (modal == nullptr) return;
    *done = true;
    act(modal);
  });
  timer->start(5);
}

void WindowTest::TearDown() {
  session.reset();
  ControllerTest::TearDown();
}

app::WindowSession& WindowTest::StartWindow(const std::vector<std::string>& args, bool service,
                                            std::optional<double> timeoutSeconds) {
  session = std::make_unique<app::WindowSession>(
      links, app::ParseCommandLine(args),
      app::WindowSettings{"offscreen", service, timeoutSeconds, {}});
  session->Start();
  return *session;
}

void WindowTest::NoticeFromWorker(int code, intptr_t value) {
  const PwHwnd window = session->Controller().handle();
  auto sent = std::async(std::launch::async, [window, code, value] {
    pw::Message message;
    message.code = static_cast<uint32_t>(code);
    message.value = value;
    return pw::SendMessage(window, message);
  });
  EXPECT_TRUE(RunUntil(
      [&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  sent.get();
}

void WindowTest::WriteTransferFile() {
  images = MakeImages(7, 0x1234);
  WriteAll(dir / "settings.dat", TransferFileBytes(images));
}

void WindowTest::Click(int id) {
  QPushButton* button = session->Window().Button(id);
  ASSERT_NE(button, nullptr) << id;
  button->click();
}

void WindowTest::Arrive() {
  pw::Message arrival;
  arrival.kind = pw::MessageKind::DeviceChange;
  arrival.event = pw::kDeviceArrival;
  arrival.devicePath = "usbip:127.0.0.1:3240/1-1";
  pw::SendMessage(session->Controller().handle(), arrival);
}

QImage Screenshot(QWidget& widget, const std::string& name) {
  const QImage image = widget.grab().toImage();
  QDir().mkpath(PENWICK_SCREENSHOT_DIR);
  image.save(QString(PENWICK_SCREENSHOT_DIR) + "/" + QString::fromStdString(name) + ".png");
  return image;
}

}  // namespace apptest
