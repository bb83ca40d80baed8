// Message queue of a window: synchronous sends wait on a per-message record that the owner
// thread completes; Close releases every waiting sender so no worker waits forever.
#include "penwick/window.hpp"

#include <algorithm>

struct PwWindow::Pending {
  pw::Message message;
  bool done = false;
  intptr_t result = 0;
};

PwWindow::PwWindow(pw::MessageHandler handler)
    : handler_(std::move(handler)), owner_(std::this_thread::get_id()) {}

PwWindow::~PwWindow() {
  Close();
}

void PwWindow::Bind() {
  std::lock_guard lock(mutex_);
  owner_ = std::this_thread::get_id();
}

bool PwWindow::IsOwnerThread() const {
  std::lock_guard lock(mutex_);
  return owner_ == std::this_thread::get_id();
}

void PwWindow::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  for (auto& pending : queue_) pending->done = true;
  queue_.clear();
  wake_.notify_all();
}

bool PwWindow::IsClosed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

// Runs the first queued message with the lock released during the handler.
bool PwWindow::RunOne(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) return false;
  auto pending = queue_.front();
  queue_.pop_front();
  lock.unlock();
  intptr_t result = handler_ ? handler_(pending->message) : 0;
  lock.lock();
  pending->result = result;
  pending->done = true;
  wake_.notify_all();
  return true;
}

bool PwWindow::Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const auto finished = [&](std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    const bool result = done && done();
    lock.lock();
    return result;
  };
  std::unique_lock lock(mutex_);
  while (true) {
    while (RunOne(lock)) {
      if (finished(lock)) return true;
    }
    if (finished(lock)) return true;
    const auto now = std::chrono::steady_clock::now();
    if (closed_ || now >= deadline) return false;
    // Conditions outside the queue may change without a message: look again every 10 ms.
    wake_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(10)));
  }
}

void PwWindow::PumpPending() {
  std::unique_lock lock(mutex_);
  while (RunOne(lock)) {
  }
}

intptr_t PwWindow::Send(pw::Message message) {
  std::unique_lock lock(mutex_);
  if (closed_) return 0;
  if (owner_ == std::this_thread::get_id()) {
    lock.unlock();
    return handler_ ? handler_(message) : 0;
  }
  auto pending = std::make_shared<Pending>();
  pending->message = std::move(message);
  queue_.push_back(pending);
  wake_.notify_all();
  wake_.wait(lock, [&] { return pending->done; });
  return pending->result;
}

bool PwWindow::Post(pw::Message message) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  auto pending = std::make_shared<Pending>();
  pending->message = std::move(message);
  queue_.push_back(std::move(pending));
  wake_.notify_all();
  return true;
}

namespace pw {

intptr_t SendMessage(PwHwnd window, Message message) {
  return window ? window->Send(std::move(message)) : 0;
}

bool PostMessage(PwHwnd window, Message message) {
  return window ? window->Post(std::move(message)) : false;
}

}  // namespace pw
