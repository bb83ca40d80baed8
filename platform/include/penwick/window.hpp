// Windows and messages. A window is handled on its owner thread (the one that created it or
// called Bind): SendMessage from that thread runs the handler at once, from any other thread it
// queues the message and waits until the owner has handled it or the window is closed.
// PostMessage queues without waiting. The owner runs queued messages with Pump.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "penwick/platform_api.h"
#include "penwick/window.h"

namespace pw {

enum class MessageKind { Command, DeviceChange };

// Device-change events carried in Message::event.
inline constexpr uint32_t kDeviceArrival = 0x8000;
inline constexpr uint32_t kDeviceRemoveComplete = 0x8004;

struct Message {
  MessageKind kind = MessageKind::Command;
  uint32_t code = 0;   // command identifier of a command message
  intptr_t value = 0;  // value of a command message
  uint32_t event = 0;  // device change: kDeviceArrival or kDeviceRemoveComplete
  std::string devicePath;
};

using MessageHandler = std::function<intptr_t(const Message&)>;

}  // namespace pw

// The object behind PwHwnd.
struct PW_PLATFORM_API PwWindow {
  explicit PwWindow(pw::MessageHandler handler);
  ~PwWindow();
  PwWindow(const PwWindow&) = delete;
  PwWindow& operator=(const PwWindow&) = delete;

  PwHwnd handle() { return this; }
  // Makes the calling thread the owner.
  void Bind();
  bool IsOwnerThread() const;

  // Runs queued messages on the owner thread until `done` returns true (checked after every
  // message and on every wake-up) or `timeout` passes. Returns the last value of `done`.
  bool Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Runs what is queued now, without waiting.
  void PumpPending();

  // Stops accepting messages and releases every waiting sender (their result is 0).
  void Close();
  bool IsClosed() const;

  intptr_t Send(pw::Message message);
  bool Post(pw::Message message);

 private:
  struct Pending;
  bool RunOne(std::unique_lock<std::mutex>& lock);

  pw::MessageHandler handler_;
  std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<Pending>> queue_;
  bool closed_ = false;
};

namespace pw {

// Synchronous send; a null or closed window gives 0.
PW_PLATFORM_API intptr_t SendMessage(PwHwnd window, Message message);
// Asynchronous post; false when the window is null or closed.
PW_PLATFORM_API bool PostMessage(PwHwnd window, Message message);

}  // namespace pw
