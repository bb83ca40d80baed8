#include "message_bridge.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cstdint>
#include <stdexcept>

namespace app {

MessageBridge::MessageBridge(PwWindow& window, QObject* parent)
    : QObject(parent), window_(window), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (wakeFd_ < 0) throw std::runtime_error("cannot create an eventfd for the window's messages");
  notifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { Run(); });
  const int fd = wakeFd_;
  window_.SetWakeHook([fd] {
    const uint64_t one = 1;
    // Cannot fail short of a counter overflow, which a pending wake makes harmless.
    [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
  });
  // Whatever was queued before the hook was set.
  window_.PumpPending();
}

MessageBridge::~MessageBridge() {
  // The hook goes first: no sender writes to the descriptor after it is closed.
  window_.SetWakeHook(nullptr);
  delete notifier_;
  close(wakeFd_);
}

void MessageBridge::Run() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t read = ::read(wakeFd_, &count, sizeof count);
  // A handler may open a modal box, whose loop runs the next messages (as its own wake-ups
  // come); each message still runs exactly once.
  window_.PumpPending();
}

}  // namespace app
