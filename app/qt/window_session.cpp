#include "window_session.h"

namespace app {
namespace {

constexpr std::chrono::milliseconds kTick{200};

}  // namespace

WindowSession::WindowSession(Libraries& libraries, const CommandLine& line,
                             const WindowSettings& settings)
    : window_(settings.service, [this](int id) { Command(id); }),
      run_(window_, libraries, line,
           {settings.timeoutSeconds, settings.service, !settings.nobodySees}),
      bridge_(run_.controller().window()) {
  tick_.setInterval(kTick);
  connect(&tick_, &QTimer::timeout, this, [this] { run_.Tick(); });
}

bool WindowSession::Start() {
  run_.Start();
  if (run_.Over()) return false;
  window_.show();
  tick_.start();
  return true;
}

void WindowSession::Command(int id) {
  run_.Command(id);
}

void WindowSession::Signal(int signal) {
  run_.Signal(signal);
}

}  // namespace app
