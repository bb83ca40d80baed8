// Binds a platform window to Qt's event loop on the window's thread: a message queued by a
// worker (a notice sent synchronously, a posted device change) wakes the loop through an
// eventfd, and the loop runs the window's queue. Nothing polls: with no message the thread
// sleeps in the loop. Needs only QtCore, so it runs under a QCoreApplication too.
#pragma once

#include <QObject>

#include "penwick/window.hpp"

class QSocketNotifier;

namespace app {

class MessageBridge : public QObject {
 public:
  // `window` must outlive the bridge; its owner thread must be this (the loop's) thread.
  explicit MessageBridge(PwWindow& window, QObject* parent = nullptr);
  ~MessageBridge() override;
  MessageBridge(const MessageBridge&) = delete;
  MessageBridge& operator=(const MessageBridge&) = delete;

 private:
  void Run();

  PwWindow& window_;
  int wakeFd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace app
