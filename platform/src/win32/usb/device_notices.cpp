// The notice window: registered for the receiver's interface class, it turns WM_DEVICECHANGE
// into the sink's arrivals and removals. A message-only window receives the notices it is
// registered for, and no broadcasts.
#include "device_notices.hpp"

#include <windows.h>

#include <dbt.h>

#include <cstddef>
#include <cstring>
#include <future>

#include "bulk_driver_formats.hpp"
#include "bulk_driver_session.hpp"
#include "penwick/window.hpp"
#include "win32/message_window.hpp"

namespace pw::usb::bulk {

static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) == kNoticeFilterSize);
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_classguid) == kNoticeClassOffset);
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) == kNoticeNameOffset);
static_assert(DBT_DEVTYP_DEVICEINTERFACE == kDeviceTypeInterface);
static_assert(DBT_DEVICEARRIVAL == pw::kDeviceArrival);
static_assert(DBT_DEVICEREMOVECOMPLETE == pw::kDeviceRemoveComplete);
static_assert(sizeof(GUID) == kInterfaceClass.size());

struct NoticeStart {
  std::promise<void> ready;
};

namespace {

constexpr char kNoticeClassName[] = "PenwickReceiverNotices";

LRESULT CALLBACK NoticeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == WM_DEVICECHANGE && lParam != 0) {
    auto* sink = reinterpret_cast<BackendSink*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(lParam),
                                         header->dbch_size);
    if (const auto notice = DecodeDeviceNotice(wParam, bytes); notice && sink != nullptr) {
      if (notice->event == pw::kDeviceArrival) {
        sink->DeviceArrived(notice->path);
      } else {
        sink->DeviceRemoved(notice->path);
      }
    }
    return TRUE;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

DeviceNotices::DeviceNotices(BackendSink* sink) : sink_(sink) {
  NoticeStart start;
  auto ready = start.ready.get_future();
  thread_ = std::thread([this, &start] { Run(&start); });
  ready.wait();
}

DeviceNotices::~DeviceNotices() {
  if (threadId_ != 0) ::PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
  if (thread_.joinable()) thread_.join();
}

void DeviceNotices::Run(NoticeStart* start) {
  const HINSTANCE module = pw::win32::PlatformModule();
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = NoticeWindowProc;
  windowClass.hInstance = module;
  windowClass.lpszClassName = kNoticeClassName;
  if (::RegisterClassExA(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    failure_ = "device notices: " + ErrorText(::GetLastError());
    start->ready.set_value();
    return;
  }
  HWND window = ::CreateWindowExA(0, kNoticeClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  module, sink_);
  if (window == nullptr) {
    failure_ = "device notices: " + ErrorText(::GetLastError());
    start->ready.set_value();
    return;
  }
  // Arrivals and removals of device interfaces of the receiver's class, sent to the window.
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(&filter.dbcc_classguid, kInterfaceClass.data(), kInterfaceClass.size());
  HDEVNOTIFY registration =
      ::RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (registration == nullptr) {
    // The present receivers are still found by enumeration; only changes go unheard.
    failure_ = "receiver arrivals cannot be watched: " + ErrorText(::GetLastError());
  }
  threadId_ = ::GetCurrentThreadId();  // the window made the thread's message queue
  start->ready.set_value();

  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
  if (registration != nullptr) ::UnregisterDeviceNotification(registration);
  ::DestroyWindow(window);
}

}  // namespace pw::usb::bulk
