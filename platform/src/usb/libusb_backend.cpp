// Local receivers through libusb: enumeration filtered by PENWICK_USB_IDS, hot-plug events
// queued by the callback and handled on the event thread (or polling where libusb has no
// hot-plug), and opens that leave kernel drivers and other programs' interfaces alone.
#include "libusb_backend.hpp"

#include <libusb.h>

#include <atomic>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "libusb_session.hpp"

namespace pw::usb {

using namespace std::chrono_literals;

namespace {

constexpr int kInterface = 0;
constexpr auto kPollInterval = 500ms;

class LibusbBackend final : public Backend {
 public:
  LibusbBackend(libusb_context* context, std::vector<UsbId> ids)
      : context_(context), ids_(std::move(ids)) {}
  ~LibusbBackend() override {
    Stop();
    libusb_exit(context_);
  }

  std::string_view Name() const override { return "libusb"; }
  bool Owns(std::string_view devicePath) const override { return devicePath.starts_with("usb:"); }

  void Start(BackendSink* sink) override {
    Enumerate();  // the snapshot: present devices are found, not announced
    {
      std::lock_guard lock(mutex_);
      sink_ = sink;
    }
    stopping_ = false;
    if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
      const int result = libusb_hotplug_register_callback(
          context_,
          static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                            LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
          static_cast<libusb_hotplug_flag>(0), LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
          LIBUSB_HOTPLUG_MATCH_ANY, &LibusbBackend::OnHotplug, this, &hotplug_);
      hasHotplug_ = result == LIBUSB_SUCCESS;
    }
    if (!events_.joinable()) events_ = std::thread([this] { EventLoop(); });
  }

  void Stop() override {
    stopping_ = true;
    if (hasHotplug_) {
      // Deregistering wakes the event thread, which then sees the stop.
      libusb_hotplug_deregister_callback(context_, hotplug_);
      hasHotplug_ = false;
    }
    if (events_.joinable()) events_.join();
    std::lock_guard lock(mutex_);
    sink_ = nullptr;
  }

  std::vector<std::string> Enumerate() override {
    auto listed = ListReceivers();
    std::vector<std::string> removals;
    BackendSink* sink = nullptr;
    {
      std::lock_guard lock(mutex_);
      for (auto it = present_.begin(); it != present_.end();) {
        if (!listed.contains(*it)) {
          removals.push_back(*it);
          it = present_.erase(it);
        } else {
          ++it;
        }
      }
      present_.insert(listed.begin(), listed.end());
      sink = sink_;
    }
    if (sink) {
      for (auto& path : removals) sink->DeviceRemoved(path);
    }
    return {listed.begin(), listed.end()};
  }

  std::unique_ptr<DeviceSession> Open(const std::string& devicePath, Status* status,
                                      std::string* message) override {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    libusb_device* found = nullptr;
    for (ssize_t i = 0; i < count; ++i) {
      if (LibusbDevicePath(list[i]) == devicePath && IsReceiver(list[i])) found = list[i];
    }
    std::unique_ptr<DeviceSession> session;
    if (!found) {
      *status = Status::NotFound;
      *message = devicePath + ": no receiver listed in PENWICK_USB_IDS is attached there";
    } else {
      session = OpenDevice(found, devicePath, status, message);
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    return session;
  }

 private:
  bool IsReceiver(libusb_device* device) const {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) return false;
    return MatchesIds(ids_, descriptor.idVendor, descriptor.idProduct);
  }

  std::set<std::string> ListReceivers() {
    std::set<std::string> paths;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    for (ssize_t i = 0; i < count; ++i) {
      if (!IsReceiver(list[i])) continue;
      auto path = LibusbDevicePath(list[i]);
      if (!path.empty() && path.size() <= kMaxDevicePathLength) paths.insert(std::move(path));
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    return paths;
  }

  std::unique_ptr<DeviceSession> OpenDevice(libusb_device* device, const std::string& path,
                                            Status* status, std::string* message) {
    libusb_device_handle* handle = nullptr;
    int result = libusb_open(device, &handle);
    if (result != LIBUSB_SUCCESS) {
      *status = StatusFromLibusbError(result);
      *message = *status == Status::AccessDenied
                     ? AccessDeniedMessage(path, ids_)
                     : path + ": cannot open (" + libusb_error_name(result) + ")";
      return nullptr;
    }
    // Another driver's interface stays with it: no detaching, no claiming over it.
    if (libusb_kernel_driver_active(handle, kInterface) == 1) {
      libusb_close(handle);
      *status = Status::Busy;
      *message = path + ": interface 0 is in use by a kernel driver; it is left alone";
      return nullptr;
    }
    result = libusb_claim_interface(handle, kInterface);
    if (result != LIBUSB_SUCCESS) {
      libusb_close(handle);
      *status = StatusFromLibusbError(result);
      *message = *status == Status::AccessDenied
                     ? AccessDeniedMessage(path, ids_)
                     : path + ": interface 0 cannot be claimed (" + libusb_error_name(result) +
                           "); another program may be using the receiver";
      return nullptr;
    }
    return std::make_unique<LibusbSession>(handle, kInterface);
  }

  // Runs inside libusb's event handling on the event thread: only queues.
  static int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device* device,
                                   libusb_hotplug_event event, void* user) {
    auto* self = static_cast<LibusbBackend*>(user);
    const bool arrived = event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED;
    if (arrived && !self->IsReceiver(device)) return 0;
    auto path = LibusbDevicePath(device);
    if (path.empty() || path.size() > kMaxDevicePathLength) return 0;
    std::lock_guard lock(self->mutex_);
    self->queue_.emplace_back(std::move(path), arrived);
    return 0;
  }

  void HandleQueued() {
    std::deque<std::pair<std::string, bool>> events;
    std::vector<std::pair<std::string, bool>> announce;
    BackendSink* sink = nullptr;
    {
      std::lock_guard lock(mutex_);
      events.swap(queue_);
      for (auto& [path, arrived] : events) {
        if (arrived ? present_.insert(path).second : present_.erase(path) > 0) {
          announce.emplace_back(path, arrived);
        }
      }
      sink = sink_;
    }
    if (!sink) return;
    for (auto& [path, arrived] : announce) {
      if (arrived) {
        sink->DeviceArrived(path);
      } else {
        sink->DeviceRemoved(path);
      }
    }
  }

  void Poll() {
    auto listed = ListReceivers();
    std::lock_guard lock(mutex_);
    for (auto& path : listed) {
      if (!present_.contains(path)) queue_.emplace_back(path, true);
    }
    for (auto& path : present_) {
      if (!listed.contains(path)) queue_.emplace_back(path, false);
    }
  }

  void EventLoop() {
    auto lastPoll = std::chrono::steady_clock::now();
    while (!stopping_) {
      timeval tv{0, 100000};
      libusb_handle_events_timeout_completed(context_, &tv, nullptr);
      if (!hasHotplug_ && std::chrono::steady_clock::now() - lastPoll >= kPollInterval) {
        Poll();
        lastPoll = std::chrono::steady_clock::now();
      }
      HandleQueued();
    }
  }

  libusb_context* context_;
  const std::vector<UsbId> ids_;
  std::mutex mutex_;
  BackendSink* sink_ = nullptr;
  std::set<std::string> present_;
  std::deque<std::pair<std::string, bool>> queue_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> hasHotplug_{false};
  libusb_hotplug_callback_handle hotplug_{};
  std::thread events_;
};

}  // namespace

std::unique_ptr<Backend> MakeLibusbBackend(std::vector<UsbId> ids) {
  libusb_context* context = nullptr;
  const int result = libusb_init(&context);
  if (result != LIBUSB_SUCCESS) {
    std::fprintf(stderr, "USB: libusb cannot start (%s); local receivers are not served\n",
                 libusb_error_name(result));
    return nullptr;
  }
  return std::make_unique<LibusbBackend>(context, std::move(ids));
}

}  // namespace pw::usb
