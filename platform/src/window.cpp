// Message queue of a window: synchronous sends wait on a per-message record that the owner
// thread completes; Close releases every waiting sender so no worker waits forever. Senders
// reach the queue through the registry of live windows, never through the window object.
#include "penwick/window.hpp"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

struct PwWindow::Shared {
  struct Pending {
    pw::Message message;
    bool done = false;
    intptr_t result = 0;
  };

  bool RunOne(std::unique_lock<std::mutex>& lock);
  intptr_t Send(pw::Message message);
  bool Post(pw::Message message);
  void Close();

  void Queue(std::shared_ptr<Pending> pending);

  pw::MessageHandler handler;  // set at creation, cleared by the owner thread at destruction
  std::function<void()> wakeHook;
  std::thread::id owner;
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::shared_ptr<Pending>> queue;
  bool closed = false;
};

namespace {

// Live windows by handle. Never destroyed: workers may still send while the process ends.
struct Registry {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<PwWindow::Shared>> windows;
  uintptr_t next = 0x10;
};

Registry& Windows() {
  static auto* registry = new Registry;
  return *registry;
}

std::shared_ptr<PwWindow::Shared> Find(PwHwnd handle) {
  Registry& registry = Windows();
  std::lock_guard lock(registry.mutex);
  const auto found = registry.windows.find(reinterpret_cast<uintptr_t>(handle));
  return found == registry.windows.end() ? nullptr : found->second;
}

}  // namespace

PwWindow::PwWindow(pw::MessageHandler handler) : shared_(std::make_shared<Shared>()) {
  shared_->handler = std::move(handler);
  shared_->owner = std::this_thread::get_id();
  Registry& registry = Windows();
  std::lock_guard lock(registry.mutex);
  const uintptr_t token = registry.next;
  registry.next += 0x10;
  registry.windows.emplace(token, shared_);
  handle_ = reinterpret_cast<PwHwnd>(token);
}

PwWindow::~PwWindow() {
  {
    Registry& registry = Windows();
    std::lock_guard lock(registry.mutex);
    registry.windows.erase(reinterpret_cast<uintptr_t>(handle_));
  }
  shared_->Close();
  // What the handler holds goes now; a sender still holding the queue finds it closed.
  std::lock_guard lock(shared_->mutex);
  shared_->handler = nullptr;
  shared_->wakeHook = nullptr;
}

void PwWindow::SetWakeHook(std::function<void()> hook) {
  std::lock_guard lock(shared_->mutex);
  shared_->wakeHook = std::move(hook);
}

void PwWindow::Bind() {
  std::lock_guard lock(shared_->mutex);
  shared_->owner = std::this_thread::get_id();
}

bool PwWindow::IsOwnerThread() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->owner == std::this_thread::get_id();
}

void PwWindow::Close() {
  shared_->Close();
}

void PwWindow::Shared::Close() {
  std::lock_guard lock(mutex);
  closed = true;
  for (auto& pending : queue) pending->done = true;
  queue.clear();
  wake.notify_all();
}

// Runs the first queued message with the lock released during the handler.
bool PwWindow::Shared::RunOne(std::unique_lock<std::mutex>& lock) {
  if (queue.empty()) return false;
  auto pending = queue.front();
  queue.pop_front();
  lock.unlock();
  intptr_t result = handler ? handler(pending->message) : 0;
  lock.lock();
  pending->result = result;
  pending->done = true;
  wake.notify_all();
  return true;
}

bool PwWindow::Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  Shared& s = *shared_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const auto finished = [&](std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    const bool result = done && done();
    lock.lock();
    return result;
  };
  std::unique_lock lock(s.mutex);
  while (true) {
    while (s.RunOne(lock)) {
      if (finished(lock)) return true;
    }
    if (finished(lock)) return true;
    const auto now = std::chrono::steady_clock::now();
    if (s.closed || now >= deadline) return false;
    // Conditions outside the queue may change without a message: look again every 10 ms.
    s.wake.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(10)));
  }
}

void PwWindow::PumpPending() {
  std::unique_lock lock(shared_->mutex);
  while (shared_->RunOne(lock)) {
  }
}

intptr_t PwWindow::Shared::Send(pw::Message message) {
  std::unique_lock lock(mutex);
  if (closed) return 0;
  if (owner == std::this_thread::get_id()) {
    lock.unlock();
    return handler ? handler(message) : 0;
  }
  auto pending = std::make_shared<Pending>();
  pending->message = std::move(message);
  Queue(pending);
  wake.wait(lock, [&] { return pending->done; });
  return pending->result;
}

bool PwWindow::Shared::Post(pw::Message message) {
  std::lock_guard lock(mutex);
  if (closed) return false;
  auto pending = std::make_shared<Pending>();
  pending->message = std::move(message);
  Queue(std::move(pending));
  return true;
}

// With the lock held: the hook cannot be swapped out while it runs.
void PwWindow::Shared::Queue(std::shared_ptr<Pending> pending) {
  queue.push_back(std::move(pending));
  wake.notify_all();
  if (wakeHook) wakeHook();
}

intptr_t PwWindow::Send(pw::Message message) {
  return shared_->Send(std::move(message));
}

bool PwWindow::Post(pw::Message message) {
  return shared_->Post(std::move(message));
}

namespace pw {

intptr_t SendMessage(PwHwnd window, Message message) {
  const auto shared = Find(window);
  return shared ? shared->Send(std::move(message)) : 0;
}

bool PostMessage(PwHwnd window, Message message) {
  const auto shared = Find(window);
  return shared ? shared->Post(std::move(message)) : false;
}

}  // namespace pw
