// Handles and sessions of the USB driver. The driver's mutex guards its maps only; it is never
// held across a backend call, a wait or a posted message.
#include "driver_core.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "penwick/window.hpp"

namespace pw::usb {

using namespace std::chrono_literals;

namespace {

constexpr auto kCloseDrain = 1000ms;
constexpr auto kArrivalRetryWindow = 3000ms;
constexpr auto kOpenRetry = 1000ms;

bool Retryable(Status status) {
  return status == Status::AccessDenied || status == Status::Busy || status == Status::NotFound;
}

std::vector<RequestPtr> TakeLive(std::vector<std::weak_ptr<Request>>& list) {
  std::vector<RequestPtr> live;
  for (auto& weak : list) {
    if (auto request = weak.lock(); request && !request->Done()) live.push_back(request);
  }
  list.clear();
  return live;
}

}  // namespace

Driver::Driver(std::vector<std::unique_ptr<Backend>> backends)
    : notices_(std::make_unique<Notices>(*this)) {
  Reset(std::move(backends));
}

Driver::Driver() : Driver(std::vector<std::unique_ptr<Backend>>{}) {}

Driver::~Driver() {
  FailEverything();
  std::vector<std::unique_ptr<Backend>> old;
  {
    std::lock_guard lock(mutex_);
    old.swap(backends_);
  }
  StopBackends(old);
}

void Driver::StopBackends(std::vector<std::unique_ptr<Backend>>& backends) {
  for (auto& backend : backends) backend->Stop();
  backends.clear();
}

// Fails every request, forgets every handle and ends every session.
void Driver::FailEverything() {
  std::vector<RequestPtr> failed;
  std::vector<std::shared_ptr<Device>> devices;
  {
    std::lock_guard lock(mutex_);
    for (auto& [handle, entry] : handles_) {
      auto live = TakeLive(entry->outstanding);
      failed.insert(failed.end(), live.begin(), live.end());
      entry->device->gone = true;
      devices.push_back(entry->device);
    }
    handles_.clear();
    for (auto& [path, device] : devices_) devices.push_back(device);
    devices_.clear();
  }
  for (auto& request : failed) request->Complete(Status::NoDevice, 0);
  std::vector<std::shared_ptr<DeviceSession>> sessions;
  {
    std::lock_guard lock(mutex_);
    for (auto& device : devices) {
      if (device->session) sessions.push_back(std::move(device->session));
    }
  }
  sessions.clear();  // ends the sessions outside the lock
}

void Driver::Reset(std::vector<std::unique_ptr<Backend>> backends) {
  std::lock_guard openLock(openMutex_);
  FailEverything();
  std::vector<std::unique_ptr<Backend>> old;
  {
    std::lock_guard lock(mutex_);
    old.swap(backends_);
    arrivals_.clear();
  }
  StopBackends(old);
  for (auto& backend : backends) backend->Start(notices_.get());
  std::lock_guard lock(mutex_);
  backends_ = std::move(backends);
}

Backend* Driver::BackendFor(std::string_view devicePath) const {
  for (const auto& backend : backends_) {
    if (backend->Owns(devicePath)) return backend.get();
  }
  return nullptr;
}

std::vector<std::string> Driver::Enumerate() {
  // Backends are replaced only under openMutex_, so they stay alive during the calls.
  std::lock_guard openLock(openMutex_);
  std::vector<std::string> paths;
  for (const auto& backend : backends_) {
    for (auto& path : backend->Enumerate()) {
      if (path.size() <= kMaxDevicePathLength) paths.push_back(std::move(path));
    }
  }
  return paths;
}

uint32_t Driver::RegisterNotices(PwHwnd window) {
  if (!window) return 0;
  std::lock_guard lock(mutex_);
  const uint32_t id = nextRegistration_++;
  windows_[id] = window;
  return id;
}

void Driver::UnregisterNotices(uint32_t registration) {
  std::lock_guard lock(mutex_);
  windows_.erase(registration);
}

void Driver::Post(uint32_t event, const std::string& path) {
  std::vector<std::pair<uint32_t, PwHwnd>> targets;
  {
    std::lock_guard lock(mutex_);
    targets.assign(windows_.begin(), windows_.end());
  }
  for (const auto& [id, window] : targets) {
    Message message;
    message.kind = MessageKind::DeviceChange;
    message.event = event;
    message.devicePath = path;
    if (pw::PostMessage(window, std::move(message))) continue;
    // The window was closed or destroyed: its registration ends with it.
    std::lock_guard lock(mutex_);
    windows_.erase(id);
  }
}

void Driver::DeviceArrived(const std::string& path) {
  {
    std::lock_guard lock(mutex_);
    arrivals_[path] = std::chrono::steady_clock::now();
  }
  Post(pw::kDeviceArrival, path);
}

void Driver::DeviceRemoved(const std::string& path) {
  std::vector<RequestPtr> failed;
  {
    std::lock_guard lock(mutex_);
    arrivals_.erase(path);
    auto found = devices_.find(path);
    if (found != devices_.end()) {
      // The session stays with the handles until they close; the path is free for the
      // device's return.
      found->second->gone = true;
      devices_.erase(found);
    }
    for (auto& [handle, entry] : handles_) {
      if (entry->device->path != path) continue;
      entry->device->gone = true;
      auto live = TakeLive(entry->outstanding);
      failed.insert(failed.end(), live.begin(), live.end());
    }
  }
  // Every request in flight fails before anyone hears of the removal.
  for (auto& request : failed) request->Complete(Status::NoDevice, 0);
  Post(pw::kDeviceRemoveComplete, path);
}

std::string Driver::BackendNote() {
  std::lock_guard openLock(openMutex_);  // backends are replaced only under it
  std::string notes;
  for (const auto& backend : backends_) {
    const std::string note = backend->Note();
    if (!note.empty()) notes += (notes.empty() ? "" : "\n") + note;
  }
  return notes;
}

std::string Driver::LastOpenMessage() const {
  std::lock_guard lock(mutex_);
  return lastOpenMessage_;
}

// Finds the live session of a device or establishes one. Called with openMutex_ held.
OpenResult Driver::OpenSession(const std::string& devicePath, std::shared_ptr<Device>* device) {
  OpenResult result;
  Backend* backend = nullptr;
  std::chrono::steady_clock::time_point arrival{};
  {
    std::lock_guard lock(mutex_);
    if (auto found = devices_.find(devicePath); found != devices_.end()) {
      *device = found->second;
      result.status = Status::Success;
      return result;
    }
    backend = BackendFor(devicePath);
    if (auto found = arrivals_.find(devicePath); found != arrivals_.end()) arrival = found->second;
  }
  if (!backend) {
    result.status = Status::NotFound;
    result.message = "no USB backend serves " + devicePath;
    return result;
  }
  // Permissions and servers may lag behind an arrival: retry briefly while it is fresh.
  const auto start = std::chrono::steady_clock::now();
  const bool fresh =
      arrival != std::chrono::steady_clock::time_point{} && start - arrival < kArrivalRetryWindow;
  std::unique_ptr<DeviceSession> session;
  while (true) {
    Status status = Status::NotFound;
    std::string message;
    session = backend->Open(devicePath, &status, &message);
    if (session) break;
    result.status = status;
    result.message = message;
    if (!fresh || !Retryable(status) || std::chrono::steady_clock::now() - start >= kOpenRetry) {
      return result;
    }
    std::this_thread::sleep_for(100ms);
  }
  auto created = std::make_shared<Device>();
  created->path = devicePath;
  created->backend = backend;
  created->session = std::move(session);
  {
    std::lock_guard lock(mutex_);
    devices_[devicePath] = created;
  }
  *device = created;
  result.status = Status::Success;
  result.message.clear();
  return result;
}

// Reads the configuration set through the session and numbers the pipes.
Status Driver::LoadPipes(const std::shared_ptr<Device>& device) {
  std::shared_ptr<DeviceSession> session;
  {
    std::lock_guard lock(mutex_);
    if (device->pipesLoaded) return Status::Success;
    if (device->gone || !device->session) return Status::NoDevice;
    session = device->session;
  }
  std::array<uint8_t, 8> setup{0x80, 6, 0, 2, 0, 0, 9, 0};
  std::vector<uint8_t> head(9);
  size_t got = 0;
  Status status = session->Control(setup, head, &got, ControlTimeout());
  if (status != Status::Success) return status;
  if (got < 4) return Status::IoError;
  const uint16_t total = static_cast<uint16_t>(head[2] | (head[3] << 8));
  std::vector<uint8_t> config(total);
  setup[6] = static_cast<uint8_t>(total & 0xFF);
  setup[7] = static_cast<uint8_t>(total >> 8);
  status = session->Control(setup, config, &got, ControlTimeout());
  if (status != Status::Success) return status;
  config.resize(std::min<size_t>(got, total));
  // The walk of the library: the first interface and its endpoints, nothing after them.
  const auto layout = WalkConfiguration(config);
  if (!layout) return Status::IoError;
  std::lock_guard lock(mutex_);
  device->pipes.assign(layout->endpoints.begin(), layout->endpoints.begin() + layout->numEndpoints);
  device->pipesLoaded = true;
  return Status::Success;
}

OpenResult Driver::Open(std::string_view path) {
  std::lock_guard openLock(openMutex_);
  OpenResult result;
  const auto pipeParts = ParsePipePath(path);
  const std::string devicePath = pipeParts ? pipeParts->device : std::string(path);
  if (devicePath.empty() || devicePath.size() > kMaxDevicePathLength) {
    result.status = Status::InvalidParameter;
    result.message = "device path empty or longer than 234 characters";
    return result;
  }
  const std::string fullPath(path);
  {
    std::lock_guard lock(mutex_);
    for (auto& [handle, entry] : handles_) {
      if (entry->path == fullPath && !entry->device->gone) {
        result.status = Status::Busy;
        result.message = fullPath + " is already open";
        lastOpenMessage_ = result.message;
        return result;
      }
    }
  }
  std::shared_ptr<Device> device;
  result = OpenSession(devicePath, &device);
  if (result.status == Status::Success && pipeParts) {
    Status status = Status::NotFound;
    if (pipeParts->interfaceNumber == 0) status = LoadPipes(device);
    std::shared_ptr<DeviceSession> session;
    PipeEndpoint endpoint;
    {
      std::lock_guard lock(mutex_);
      if (status == Status::Success && pipeParts->pipe >= device->pipes.size()) {
        status = Status::NotFound;
      }
      if (status == Status::Success) {
        endpoint = device->pipes[pipeParts->pipe];
        session = device->session;
        if (device->gone || !session) status = Status::NoDevice;
      }
    }
    if (status == Status::Success) status = session->OpenPipe(pipeParts->pipe, endpoint);
    std::lock_guard lock(mutex_);
    if (status != Status::Success) {
      result.status = status;
      result.message = fullPath +
                       (status == Status::NotFound ? ": no such pipe (" : ": cannot open (") +
                       StatusText(status) + ")";
    }
  }
  std::shared_ptr<DeviceSession> unused;
  std::lock_guard lock(mutex_);
  if (result.status != Status::Success) {
    // A session nobody holds a handle on ends here.
    if (device && device->handles == 0) {
      auto found = devices_.find(device->path);
      if (found != devices_.end() && found->second == device) devices_.erase(found);
      unused = std::move(device->session);
    }
    lastOpenMessage_ = result.message;
    return result;
  }
  auto entry = std::make_shared<HandleEntry>();
  entry->path = fullPath;
  entry->device = device;
  if (pipeParts) {
    entry->isPipe = true;
    entry->pipe = pipeParts->pipe;
    entry->endpoint = device->pipes[pipeParts->pipe];
  }
  ++device->handles;
  result.handle = nextHandle_++;
  if (nextHandle_ == kInvalidHandle) nextHandle_ = 1;
  handles_[result.handle] = std::move(entry);
  return result;
}

Status Driver::Close(Handle handle) {
  std::shared_ptr<HandleEntry> entry;
  std::vector<RequestPtr> live;
  std::shared_ptr<DeviceSession> current;  // the session while this handle used it
  std::shared_ptr<DeviceSession> session;  // the session when this was its last handle
  {
    std::lock_guard lock(mutex_);
    auto found = handles_.find(handle);
    if (found == handles_.end()) return Status::InvalidHandle;
    entry = found->second;
    handles_.erase(found);
    live = TakeLive(entry->outstanding);
    current = entry->device->session;
  }
  if (!live.empty()) {
    if (current) {
      for (auto& request : live) current->Cancel(request);
    }
    const auto deadline = std::chrono::steady_clock::now() + kCloseDrain;
    for (auto& request : live) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (!request->Wait(std::max(left, 1ms))) request->Complete(Status::Cancelled, 0);
    }
  }
  if (current && entry->isPipe) current->ClosePipe(entry->pipe, entry->endpoint);
  current.reset();
  {
    std::lock_guard lock(mutex_);
    auto& device = entry->device;
    if (--device->handles == 0) {
      auto found = devices_.find(device->path);
      if (found != devices_.end() && found->second == device) devices_.erase(found);
      session = std::move(device->session);
    }
  }
  session.reset();
  return Status::Success;
}

RequestPtr Driver::Submit(Handle pipe, Direction direction, const uint8_t* data, size_t length) {
  std::shared_ptr<DeviceSession> session;
  RequestPtr request;
  Status refusal = Status::Success;
  {
    std::lock_guard lock(mutex_);
    auto found = handles_.find(pipe);
    uint8_t endpoint = direction == Direction::In ? 0x80 : 0x00;
    if (found == handles_.end()) {
      refusal = Status::InvalidHandle;
    } else if (!found->second->isPipe) {
      refusal = Status::InvalidParameter;
    } else {
      auto& entry = *found->second;
      endpoint = entry.endpoint.address;
      const bool isIn = (endpoint & 0x80) != 0;
      if (isIn != (direction == Direction::In) ||
          (direction == Direction::Out && length && !data)) {
        refusal = Status::InvalidParameter;
      } else if (entry.device->gone || !entry.device->session) {
        refusal = Status::NoDevice;
      } else {
        session = entry.device->session;
      }
    }
    request = std::make_shared<Request>(direction, endpoint, length);
    if (refusal == Status::Success) {
      auto& entry = *found->second;
      std::erase_if(entry.outstanding, [](const std::weak_ptr<Request>& weak) {
        auto live = weak.lock();
        return !live || live->Done();
      });
      entry.outstanding.push_back(request);
      entry.device->lastRequest = request;
    }
  }
  if (refusal != Status::Success) {
    request->Complete(refusal, 0);
    return request;
  }
  if (direction == Direction::Out && length) {
    std::memcpy(request->MutableOutData().data(), data, length);
  }
  session->Submit(request);
  return request;
}

Status Driver::CancelIo(Handle pipe) {
  std::vector<RequestPtr> live;
  std::shared_ptr<DeviceSession> session;
  {
    std::lock_guard lock(mutex_);
    auto found = handles_.find(pipe);
    if (found == handles_.end()) return Status::InvalidHandle;
    auto& entry = *found->second;
    if (!entry.isPipe) return Status::InvalidParameter;
    for (auto& weak : entry.outstanding) {
      if (auto request = weak.lock(); request && !request->Done()) live.push_back(request);
    }
    session = entry.device->session;
  }
  for (auto& request : live) {
    if (session) {
      session->Cancel(request);
    } else {
      request->Complete(Status::Cancelled, 0);
    }
  }
  return Status::Success;
}

}  // namespace pw::usb
