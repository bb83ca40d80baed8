// Windows and messages with the system's own windows. A PwWindow is a message-only window of the
// platform's class, owned by the thread that created it (or called Bind): that thread's
// ordinary message loop, a modal loop (a message box, a dialog) and Pump all deliver its
// messages, since the system hands a thread every message sent to its windows whenever it
// looks at its queue.
//
// pw::SendMessage is SendMessage of a private message whose parameter points at the sender's
// copy of the message: the sender waits in SendMessage, so the copy outlives the handling.
// pw::PostMessage keeps a copy in the window's own queue and posts a private message that takes
// it out; a copy whose message never arrives goes with the queue. Senders reach a window through
// a registry of live windows, so a handle of a destroyed window gives 0, never freed memory.
//
// Close marks the window closed (its handler is not called again) and then, on the owner
// thread, answers every send already on its way with 0: the system delivers a sent message
// only when the owner looks at its queue, and a closing window may never do that again.
#include "penwick/window.hpp"

// After window.hpp: <windows.h> names its own SendMessage and PostMessage as macros.
#include <windows.h>
// Device-change records; needs <windows.h> first.
#include <dbt.h>
#undef SendMessage
#undef PostMessage

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <deque>
#include <mutex>
#include <type_traits>
#include <unordered_map>

#include "message_window.hpp"

static_assert(std::is_same_v<PwHwnd, HWND>, "a window handle is the system's HWND");

struct PwWindow::Shared {
  intptr_t Send(pw::Message message);
  bool Post(pw::Message message);
  void Close();
  // The handler's answer to a message that reached `target`; a sent one is counted while its
  // handler runs, so Close knows which senders wait on this thread's stack.
  intptr_t Deliver(HWND target, const pw::Message& message, bool sent);
  bool TakePosted(HWND target, pw::Message* message);
  bool IsCurrent(HWND target);

  pw::MessageHandler handler;  // called on the owner thread only
  std::mutex mutex;
  std::function<void()> wakeHook;  // kept, never called: the thread's loop wakes by itself
  HWND window = nullptr;           // null when it could not be made
  DWORD owner = 0;                 // the thread that owns `window`
  std::deque<pw::Message> posted;
  bool closed = false;
  int sending = 0;   // senders inside SendMessage
  int handling = 0;  // sent messages whose handler runs now
};

namespace {

using SharedPtr = std::shared_ptr<PwWindow::Shared>;

constexpr UINT kSentMessage = WM_APP + 0x50;     // lParam: the waiting sender's pw::Message
constexpr UINT kPostedMessage = WM_APP + 0x51;   // the next message of the window's queue
constexpr UINT kDestroyMessage = WM_APP + 0x52;  // destroy, asked from another thread
constexpr char kClassName[] = "PenwickMessageWindow";
// How long Close waits for a sender that has passed the closed check but not yet reached the
// system's queue: a few instructions, so this bound is never met in practice.
constexpr DWORD kReleaseLimitMs = 10000;

// Live windows by handle. Never destroyed: workers may still send while the process ends.
struct Registry {
  std::mutex mutex;
  std::unordered_map<HWND, SharedPtr> windows;
};

Registry& Windows() {
  static auto* registry = new Registry;
  return *registry;
}

SharedPtr Find(HWND handle) {
  Registry& registry = Windows();
  std::lock_guard lock(registry.mutex);
  const auto found = registry.windows.find(handle);
  return found == registry.windows.end() ? nullptr : found->second;
}

void Register(HWND handle, const SharedPtr& shared) {
  if (handle == nullptr) return;
  Registry& registry = Windows();
  std::lock_guard lock(registry.mutex);
  registry.windows[handle] = shared;
}

void Unregister(HWND handle, const PwWindow::Shared* shared) {
  Registry& registry = Windows();
  std::lock_guard lock(registry.mutex);
  const auto found = registry.windows.find(handle);
  if (found != registry.windows.end() && found->second.get() == shared)
    registry.windows.erase(found);
}

// A device-interface arrival or removal as the system reports it to a registered window; the
// name is read within the size the record gives.
bool DecodeDeviceChange(WPARAM event, LPARAM data, pw::Message* message) {
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return false;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return false;
  const size_t start = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
  if (header->dbch_size <= start) return false;
  const char* name = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(data)->dbcc_name;
  message->kind = pw::MessageKind::DeviceChange;
  message->event = static_cast<uint32_t>(event);
  message->devicePath.assign(name, strnlen(name, header->dbch_size - start));
  return true;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// What CreateWindowExA hands the new window: the holder becomes the window's own reference to
// the queue (freed at WM_NCDESTROY) once the window took it.
struct Start {
  SharedPtr* holder;
  bool taken = false;
};

HWND CreateMessageWindow(const SharedPtr& shared) {
  static const ATOM atom = [] {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = pw::win32::PlatformModule();
    windowClass.lpszClassName = kClassName;
    return ::RegisterClassExA(&windowClass);
  }();
  if (atom == 0) return nullptr;
  Start start{new SharedPtr(shared)};
  HWND window = ::CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  pw::win32::PlatformModule(), &start);
  if (!start.taken) delete start.holder;
  return window;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* start = static_cast<Start*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    start->taken = true;
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(start->holder));
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
  auto* holder = reinterpret_cast<SharedPtr*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (holder == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
  PwWindow::Shared& shared = **holder;
  switch (message) {
    case kSentMessage: {
      // A copy, taken while the sender surely waits: a handler that lets it go early (with
      // ReplyMessage) must not be left reading the sender's copy.
      const pw::Message sent = *reinterpret_cast<const pw::Message*>(lParam);
      return shared.Deliver(window, sent, true);
    }
    case kPostedMessage: {
      pw::Message posted;
      if (shared.TakePosted(window, &posted)) shared.Deliver(window, posted, false);
      return 0;
    }
    case WM_COMMAND: {
      // A command message from outside the platform (a front end forwarding one, say).
      pw::Message command;
      command.code = static_cast<uint32_t>(wParam);
      command.value = lParam;
      return shared.Deliver(window, command, false);
    }
    case WM_DEVICECHANGE: {
      // From a registration for device notices with this window.
      pw::Message change;
      if (DecodeDeviceChange(wParam, lParam, &change)) shared.Deliver(window, change, false);
      return TRUE;
    }
    case kDestroyMessage:
      ::DestroyWindow(window);
      return 0;
    case WM_NCDESTROY:
      // Destroyed by its object or by anyone else: senders get 0 from now on.
      if (shared.IsCurrent(window)) {
        shared.Close();
        Unregister(window, &shared);
      }
      ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      delete holder;
      return ::DefWindowProcA(window, message, wParam, lParam);
    default:
      return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

namespace pw::win32 {

HMODULE PlatformModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&PlatformModule), &module);
  return module;
}

bool IsMessageWindow(HWND window) {
  char name[sizeof kClassName + 1] = {};
  return window != nullptr && ::GetClassNameA(window, name, sizeof name) > 0 &&
         std::strcmp(name, kClassName) == 0;
}

}  // namespace pw::win32

PwWindow::PwWindow(pw::MessageHandler handler) : shared_(std::make_shared<Shared>()) {
  shared_->handler = std::move(handler);
  shared_->owner = ::GetCurrentThreadId();
  shared_->window = CreateMessageWindow(shared_);
  handle_ = shared_->window;
  Register(handle_, shared_);
}

PwWindow::~PwWindow() {
  Unregister(handle_, shared_.get());
  shared_->Close();
  HWND window = nullptr;
  DWORD owner = 0;
  {
    std::lock_guard lock(shared_->mutex);
    window = shared_->window;
    owner = shared_->owner;
    shared_->wakeHook = nullptr;
  }
  if (window == nullptr) return;
  if (owner == ::GetCurrentThreadId()) {
    ::DestroyWindow(window);
    // What the handler holds goes now (the window, and its reference to the queue, are gone).
    shared_->handler = nullptr;
  } else {
    // Only the owner thread may destroy its window: it does when it next looks at its queue, or
    // the system does when that thread ends. The handler is not called again (closed).
    ::PostMessageA(window, kDestroyMessage, 0, 0);
  }
}

void PwWindow::SetWakeHook(std::function<void()> hook) {
  std::lock_guard lock(shared_->mutex);
  shared_->wakeHook = std::move(hook);
}

// A window belongs to the thread that created it for good: binding another thread makes a new
// window there, so the handle changes (bind before the handle is given out). Queued posts move
// to the new window; the old one is destroyed by its own thread.
void PwWindow::Bind() {
  if (IsOwnerThread()) return;
  HWND fresh = CreateMessageWindow(shared_);
  HWND old = nullptr;
  {
    std::lock_guard lock(shared_->mutex);
    old = shared_->window;
    shared_->window = fresh;
    shared_->owner = ::GetCurrentThreadId();
    for (size_t i = 0; fresh != nullptr && i < shared_->posted.size(); ++i)
      ::PostMessageA(fresh, kPostedMessage, 0, 0);
  }
  Unregister(old, shared_.get());
  Register(fresh, shared_);
  handle_ = fresh;
  if (old != nullptr) ::PostMessageA(old, kDestroyMessage, 0, 0);
}

bool PwWindow::IsOwnerThread() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->owner == ::GetCurrentThreadId();
}

void PwWindow::Close() {
  shared_->Close();
}

bool PwWindow::Shared::IsCurrent(HWND target) {
  std::lock_guard lock(mutex);
  return window == target;
}

void PwWindow::Shared::Close() {
  {
    std::lock_guard lock(mutex);
    closed = true;
    posted.clear();
    if (owner != ::GetCurrentThreadId()) return;  // released when the owner next looks
  }
  // Every sender counted in `sending` is either waiting on this thread's stack (its handler
  // runs further up) or has its message queued, or is about to: answer the queued ones (the
  // closed window gives 0) until only those on the stack are left.
  const ULONGLONG deadline = ::GetTickCount64() + kReleaseLimitMs;
  while (true) {
    {
      std::lock_guard lock(mutex);
      if (sending <= handling) return;
    }
    MSG message;
    ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    if (::GetTickCount64() >= deadline) return;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_SENDMESSAGE, 0);
  }
}

intptr_t PwWindow::Shared::Deliver(HWND target, const pw::Message& message, bool sent) {
  {
    std::lock_guard lock(mutex);
    if (closed || target != window) return 0;
    if (sent) ++handling;
  }
  const intptr_t result = handler ? handler(message) : 0;
  if (sent) {
    std::lock_guard lock(mutex);
    --handling;
  }
  return result;
}

bool PwWindow::Shared::TakePosted(HWND target, pw::Message* message) {
  std::lock_guard lock(mutex);
  if (target != window || posted.empty()) return false;
  *message = std::move(posted.front());
  posted.pop_front();
  return true;
}

intptr_t PwWindow::Shared::Send(pw::Message message) {
  HWND target = nullptr;
  {
    std::lock_guard lock(mutex);
    if (closed || window == nullptr) return 0;
    target = window;
    ++sending;
  }
  const LRESULT result =
      ::SendMessageA(target, kSentMessage, 0, reinterpret_cast<LPARAM>(&message));
  std::lock_guard lock(mutex);
  --sending;
  return result;
}

bool PwWindow::Shared::Post(pw::Message message) {
  std::lock_guard lock(mutex);
  if (closed || window == nullptr) return false;
  posted.push_back(std::move(message));
  if (!::PostMessageA(window, kPostedMessage, 0, 0)) {  // its queue is full, or it is gone
    posted.pop_back();
    return false;
  }
  return true;
}

// A bounded message loop of the calling (owner) thread: sent messages are handled while it
// looks at the queue, posted ones are dispatched one by one.
bool PwWindow::Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto finished = [&] { return done && done(); };
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        // Left for the thread's own loop, which ends on it.
        ::PostQuitMessage(static_cast<int>(message.wParam));
        return finished();
      }
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
      if (finished()) return true;
    }
    if (finished()) return true;
    {
      std::lock_guard lock(shared_->mutex);
      if (shared_->closed) return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    // Conditions outside the queue may change without a message: look again every 10 ms.
    const auto wait = std::min(std::chrono::ceil<std::chrono::milliseconds>(deadline - now),
                               std::chrono::milliseconds(10));
    ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(wait.count()), QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
  }
}

void PwWindow::PumpPending() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
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
