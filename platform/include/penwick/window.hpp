// Windows and messages. A window is handled on its owner thread (the one that created it or
// called Bind): SendMessage from that thread runs the handler at once, from any other thread it
// queues the message and waits until the owner has handled it or the window is closed.
// PostMessage queues without waiting. The owner runs queued messages with Pump, or, in a
// toolkit's event loop, with PumpPending when the wake hook says a message is waiting.
//
// A handle is a token, not the window's address: senders find the window through a registry,
// and the window's queue lives as long as any sender uses it. A message to a window that is
// closed or destroyed is dropped (SendMessage gives 0), and a handle is never given to another
// window later, so a worker that still holds an old handle can never reach freed memory or a
// newer window.
//
// On Windows the window is a real one: a message-only window owned by its owner thread, and the
// handle is its HWND. Messages travel as the system's own sent and posted window messages, so
// any message loop of the owner thread delivers them (its ordinary loop, a dialog's or a message
// box's modal loop, Pump); the wake hook is not needed there (it is still called as described).
// Close and destruction belong on the owner thread: from another thread they stop the handler
// at once, and the waiting senders are released when the owner next looks at its queue or
// ends. Handles are the system's, so "never given to another window" holds as far as the
// system's handles are never reused.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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

// A window; handle() is the PwHwnd that names it.
struct PW_PLATFORM_API PwWindow {
  explicit PwWindow(pw::MessageHandler handler);
  ~PwWindow();
  PwWindow(const PwWindow&) = delete;
  PwWindow& operator=(const PwWindow&) = delete;

  PwHwnd handle() const { return handle_; }
  // Makes the calling thread the owner. On Windows that makes a new window on the calling
  // thread, so handle() changes: bind before the handle is given out.
  void Bind();
  bool IsOwnerThread() const;

  // Runs queued messages on the owner thread until `done` returns true (checked after every
  // message and on every wake-up) or `timeout` passes. Returns the last value of `done`. On
  // Windows this is a bounded message loop of the calling thread: it dispatches the messages of
  // all its windows.
  bool Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Runs what is queued now, without waiting.
  void PumpPending();
  // Called once for every message queued for the owner (a send from another thread, a post),
  // so an event loop that sleeps can be woken to run PumpPending. It runs on the sender's
  // thread with the queue locked, so it must only signal (write an eventfd, say): never block,
  // send or take the window's own calls. After SetWakeHook returns, the old hook is never
  // called again. An empty hook removes it.
  void SetWakeHook(std::function<void()> hook);

  // Stops accepting messages and releases every waiting sender (their result is 0).
  void Close();

  intptr_t Send(pw::Message message);
  bool Post(pw::Message message);

  // The queue and handler, shared with the senders that found the window (window.cpp).
  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  PwHwnd handle_;
};

namespace pw {

// Synchronous send; a null, closed or destroyed window gives 0.
PW_PLATFORM_API intptr_t SendMessage(PwHwnd window, Message message);
// Asynchronous post; false when the window is null, closed or destroyed.
PW_PLATFORM_API bool PostMessage(PwHwnd window, Message message);

}  // namespace pw
