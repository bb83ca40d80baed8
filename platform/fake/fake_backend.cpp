// The scripted backend of the unit tests. Devices are plain records; IN requests take the next
// scripted reply or wait; replies due later are delivered by one worker thread.
#include "penwick/usb_fake.hpp"

#include <algorithm>
#include <cstring>

namespace pw::usb {

using namespace std::chrono_literals;

std::vector<std::unique_ptr<Backend>> MakeBackends(std::unique_ptr<Backend> backend) {
  std::vector<std::unique_ptr<Backend>> backends;
  backends.push_back(std::move(backend));
  return backends;
}

struct FakeBackend::Device {
  Descriptors descriptors;
  bool present = true;
  int sessions = 0;
  int refusals = 0;
  Status refusal = Status::Busy;
  std::string refusalMessage;
  std::map<uint8_t, std::deque<Reply>> reads;
  std::map<uint8_t, std::deque<Reply>> writes;
  std::map<uint8_t, std::vector<std::vector<uint8_t>>> written;
  std::map<uint8_t, std::vector<size_t>> readLengths;
  std::vector<RequestPtr> pending;  // IN requests without an answer yet
  std::vector<std::array<uint8_t, 8>> controlLog;
  int cancels = 0;
  std::map<unsigned, Status> pipeRefusals;
  std::vector<std::string> pipeLog;
};

class FakeBackend::Session final : public DeviceSession {
 public:
  Session(FakeBackend* owner, std::shared_ptr<Device> device)
      : owner_(owner), device_(std::move(device)) {}
  ~Session() override {
    std::lock_guard lock(owner_->mutex_);
    --device_->sessions;
  }

  Status Control(const std::array<uint8_t, 8>& setup, std::span<uint8_t> data, size_t* transferred,
                 std::chrono::milliseconds) override {
    *transferred = 0;
    std::lock_guard lock(owner_->mutex_);
    device_->controlLog.push_back(setup);
    if (!device_->present) return Status::NoDevice;
    if (setup[0] != 0x80 || setup[1] != 6) return Status::Stall;
    const uint8_t type = setup[3];
    const uint8_t index = setup[2];
    const std::vector<uint8_t>* source = nullptr;
    if (type == 1 && index == 0) source = &device_->descriptors.device;
    if (type == 2 && index == 0) source = &device_->descriptors.configuration;
    if (type == 3) {
      auto found = device_->descriptors.strings.find(index);
      if (found != device_->descriptors.strings.end()) source = &found->second;
    }
    if (!source) return Status::Stall;
    const size_t count = std::min(source->size(), data.size());
    std::memcpy(data.data(), source->data(), count);
    *transferred = count;
    return Status::Success;
  }

  void Submit(const RequestPtr& request) override {
    std::unique_lock lock(owner_->mutex_);
    if (!device_->present) {
      lock.unlock();
      request->Complete(Status::NoDevice, 0);
      return;
    }
    const uint8_t endpoint = request->endpoint();
    std::optional<Reply> reply;
    if (request->direction() == Direction::In) {
      device_->readLengths[endpoint].push_back(request->length());
      auto& queue = device_->reads[endpoint];
      if (!queue.empty()) {
        reply = std::move(queue.front());
        queue.pop_front();
      } else if (owner_->unscriptedReads_) {
        reply = Reply{{}, *owner_->unscriptedReads_, Timing::Immediate};
      }
    } else {
      auto out = request->OutData();
      device_->written[endpoint].emplace_back(out.begin(), out.end());
      auto& queue = device_->writes[endpoint];
      if (!queue.empty()) {
        reply = std::move(queue.front());
        queue.pop_front();
      } else {
        reply = Reply{};
        reply->data.resize(request->length());  // accepted in full
        reply->timing = owner_->unscriptedWrites_;
        reply->delay = owner_->unscriptedWriteDelay_;
      }
    }
    if (!reply || reply->timing == Timing::Never) {
      device_->pending.push_back(request);
      return;
    }
    const size_t count = reply->data.size();
    if (reply->timing == Timing::Immediate) {
      lock.unlock();
      request->Complete(reply->status, count, reply->data);
      return;
    }
    lock.unlock();
    owner_->Schedule(Job{std::chrono::steady_clock::now() + reply->delay, request, reply->status,
                         count, std::move(reply->data)});
  }

  void Cancel(const RequestPtr& request) override {
    bool instant = false;
    {
      std::lock_guard lock(owner_->mutex_);
      ++device_->cancels;
      std::erase(device_->pending, request);
      instant = owner_->cancelInstant_;
    }
    if (instant) {
      request->Complete(Status::Cancelled, 0);
      return;
    }
    owner_->Schedule(Job{std::chrono::steady_clock::now() + owner_->cancelDelay_,
                         request,
                         Status::Cancelled,
                         0,
                         {}});
  }

  Status OpenPipe(unsigned pipe, const EndpointInfo&) override {
    std::lock_guard lock(owner_->mutex_);
    auto refusal = device_->pipeRefusals.find(pipe);
    if (refusal != device_->pipeRefusals.end()) {
      const Status status = refusal->second;
      device_->pipeRefusals.erase(refusal);
      device_->pipeLog.push_back("refuse " + std::to_string(pipe));
      return status;
    }
    device_->pipeLog.push_back("open " + std::to_string(pipe));
    return Status::Success;
  }

  void ClosePipe(unsigned pipe, const EndpointInfo& endpoint) override {
    std::lock_guard lock(owner_->mutex_);
    size_t live = 0;
    auto count = [&](const RequestPtr& request) {
      if (request->endpoint() == endpoint.address && !request->Done()) ++live;
    };
    for (const auto& request : device_->pending) count(request);
    for (const auto& job : owner_->jobs_) count(job.request);
    device_->pipeLog.push_back("close " + std::to_string(pipe) + " with " + std::to_string(live) +
                               " in flight");
  }

 private:
  FakeBackend* owner_;
  std::shared_ptr<Device> device_;
};

FakeBackend::FakeBackend() = default;

FakeBackend::~FakeBackend() {
  Stop();
}

FakeBackend::Descriptors FakeBackend::ReceiverDescriptors(uint16_t packetSize, uint16_t bcdDevice) {
  Descriptors d;
  d.device = {18,
              1,
              0x00,
              0x02,
              0xFF,
              0,
              0,
              64,
              0x34,
              0x12,
              0x78,
              0x56,
              static_cast<uint8_t>(bcdDevice & 0xFF),
              static_cast<uint8_t>(bcdDevice >> 8),
              1,
              2,
              3,
              1};
  const uint8_t lo = static_cast<uint8_t>(packetSize & 0xFF);
  const uint8_t hi = static_cast<uint8_t>(packetSize >> 8);
  d.configuration = {9, 2, 32,   0, 1,  1,    0, 0x80, 50,  // configuration
                     9, 4, 0,    0, 2,  0xFF, 0, 0,    0,   // interface 0, two endpoints
                     7, 5, 0x01, 2, lo, hi,   0,            // bulk OUT 0x01
                     7, 5, 0x82, 2, lo, hi,   0};           // bulk IN 0x82
  d.strings[0] = {4, 3, 0x09, 0x04};
  d.strings[1] = {8, 3, 'P', 0, 'w', 0, 'k', 0};
  d.strings[2] = {6, 3, 'R', 0, 'x', 0};
  d.strings[3] = {6, 3, '0', 0, '1', 0};
  return d;
}

std::shared_ptr<FakeBackend::Device> FakeBackend::Find(const std::string& path) const {
  auto found = devices_.find(path);
  return found == devices_.end() ? nullptr : found->second;
}

void FakeBackend::AddDevice(const std::string& path, Descriptors descriptors, bool announce) {
  BackendSink* sink = nullptr;
  {
    std::lock_guard lock(mutex_);
    auto device = std::make_shared<Device>();
    device->descriptors = std::move(descriptors);
    devices_[path] = device;
    sink = sink_;
  }
  if (announce && sink) sink->DeviceArrived(path);
}

void FakeBackend::RemoveDevice(const std::string& path, bool announce) {
  BackendSink* sink = nullptr;
  std::vector<RequestPtr> pending;
  {
    std::lock_guard lock(mutex_);
    auto device = Find(path);
    if (!device) return;
    device->present = false;
    pending.swap(device->pending);
    devices_.erase(path);
    sink = sink_;
  }
  if (announce && sink) sink->DeviceRemoved(path);
  // What the core did not fail already (it only knows the requests of open handles).
  for (auto& request : pending) request->Complete(Status::NoDevice, 0);
}

void FakeBackend::RefuseOpens(const std::string& path, Status status, int count,
                              std::string message) {
  std::lock_guard lock(mutex_);
  if (auto device = Find(path)) {
    device->refusals = count;
    device->refusal = status;
    device->refusalMessage = std::move(message);
  }
}

void FakeBackend::ScriptRead(const std::string& path, uint8_t endpoint, Reply reply) {
  std::lock_guard lock(mutex_);
  if (auto device = Find(path)) device->reads[endpoint].push_back(std::move(reply));
}

void FakeBackend::ScriptWrite(const std::string& path, uint8_t endpoint, Reply reply) {
  std::lock_guard lock(mutex_);
  if (auto device = Find(path)) device->writes[endpoint].push_back(std::move(reply));
}

void FakeBackend::SetCancelDelay(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  cancelDelay_ = delay;
}

void FakeBackend::SetCancelInstant(bool instant) {
  std::lock_guard lock(mutex_);
  cancelInstant_ = instant;
}

void FakeBackend::SetUnscripted(Timing writes, std::optional<Status> reads,
                                std::chrono::milliseconds writeDelay) {
  std::lock_guard lock(mutex_);
  unscriptedWrites_ = writes;
  unscriptedReads_ = reads;
  unscriptedWriteDelay_ = writeDelay;
}

bool FakeBackend::DeliverPending(const std::string& path, uint8_t endpoint,
                                 std::vector<uint8_t> data) {
  RequestPtr request;
  {
    std::lock_guard lock(mutex_);
    auto device = Find(path);
    if (!device) return false;
    auto found = std::find_if(device->pending.begin(), device->pending.end(),
                              [&](const RequestPtr& r) { return r->endpoint() == endpoint; });
    if (found == device->pending.end()) return false;
    request = *found;
    device->pending.erase(found);
  }
  return request->Complete(Status::Success, data.size(), data);
}

std::vector<std::vector<uint8_t>> FakeBackend::Written(const std::string& path,
                                                       uint8_t endpoint) const {
  std::lock_guard lock(mutex_);
  auto device = Find(path);
  if (!device) return {};
  auto found = device->written.find(endpoint);
  return found == device->written.end() ? std::vector<std::vector<uint8_t>>{} : found->second;
}

std::vector<size_t> FakeBackend::ReadLengths(const std::string& path, uint8_t endpoint) const {
  std::lock_guard lock(mutex_);
  auto device = Find(path);
  if (!device) return {};
  auto found = device->readLengths.find(endpoint);
  return found == device->readLengths.end() ? std::vector<size_t>{} : found->second;
}

size_t FakeBackend::PendingCount(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto device = Find(path);
  return device ? device->pending.size() : 0;
}

int FakeBackend::CancelCount(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto device = Find(path);
  return device ? device->cancels : 0;
}

int FakeBackend::OpenSessions(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto device = Find(path);
  return device ? device->sessions : 0;
}

std::vector<std::array<uint8_t, 8>> FakeBackend::ControlLog(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto device = Find(path);
  return device ? device->controlLog : std::vector<std::array<uint8_t, 8>>{};
}

void FakeBackend::RefusePipe(const std::string& path, unsigned pipe, Status status) {
  std::lock_guard lock(mutex_);
  if (auto device = Find(path)) device->pipeRefusals[pipe] = status;
}

std::vector<std::string> FakeBackend::PipeLog(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto device = Find(path);
  return device ? device->pipeLog : std::vector<std::string>{};
}

bool FakeBackend::Owns(std::string_view devicePath) const {
  return devicePath.starts_with("fake:");
}

void FakeBackend::Start(BackendSink* sink) {
  std::lock_guard lock(mutex_);
  sink_ = sink;
  stopping_ = false;
  if (!worker_.joinable()) worker_ = std::thread([this] { Worker(); });
}

void FakeBackend::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    sink_ = nullptr;
    wake_.notify_all();
  }
  if (worker_.joinable()) worker_.join();
  // Whatever is still due completes now, so nobody waits on a stopped fake.
  std::deque<Job> jobs;
  {
    std::lock_guard lock(mutex_);
    jobs.swap(jobs_);
  }
  for (auto& job : jobs) job.request->Complete(job.status, job.transferred, job.data);
}

std::vector<std::string> FakeBackend::Enumerate() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> paths;
  for (auto& [path, device] : devices_) paths.push_back(path);
  return paths;
}

std::unique_ptr<DeviceSession> FakeBackend::Open(const std::string& devicePath, Status* status,
                                                 std::string* message) {
  std::lock_guard lock(mutex_);
  auto device = Find(devicePath);
  if (!device) {
    *status = Status::NotFound;
    *message = devicePath + ": no such device";
    return nullptr;
  }
  if (device->refusals > 0) {
    --device->refusals;
    *status = device->refusal;
    *message = device->refusalMessage;
    return nullptr;
  }
  ++device->sessions;
  return std::make_unique<Session>(this, device);
}

void FakeBackend::Schedule(Job job) {
  std::lock_guard lock(mutex_);
  jobs_.push_back(std::move(job));
  wake_.notify_all();
}

void FakeBackend::Worker() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    auto next = std::min_element(jobs_.begin(), jobs_.end(),
                                 [](const Job& a, const Job& b) { return a.due < b.due; });
    if (next == jobs_.end()) {
      wake_.wait_for(lock, 100ms);
      continue;
    }
    if (next->due > std::chrono::steady_clock::now()) {
      wake_.wait_until(lock, next->due);
      continue;
    }
    Job job = std::move(*next);
    jobs_.erase(next);
    lock.unlock();
    job.request->Complete(job.status, job.transferred, job.data);
    lock.lock();
  }
}

}  // namespace pw::usb
