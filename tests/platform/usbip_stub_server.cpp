// The test-side USB/IP server. One thread accepts; one thread per connection serves it.
#include "usbip_stub_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

bool ReadAll(int fd, void* data, size_t size) {
  auto* p = static_cast<uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::recv(fd, p, size, 0);
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::vector<uint8_t> DeviceRecord(const UsbipStubServer::Device& d) {
  std::vector<uint8_t> r(256, 0);
  const std::string path = "/sys/devices/stub/" + d.busId;
  std::memcpy(r.data(), path.data(), path.size());
  std::vector<uint8_t> busId(32, 0);
  std::memcpy(busId.data(), d.busId.data(), d.busId.size());
  r.insert(r.end(), busId.begin(), busId.end());
  Put32(r, d.busNum);
  Put32(r, d.devNum);
  Put32(r, 3);  // high speed
  Put16(r, static_cast<uint16_t>(d.deviceDescriptor[8] | d.deviceDescriptor[9] << 8));
  Put16(r, static_cast<uint16_t>(d.deviceDescriptor[10] | d.deviceDescriptor[11] << 8));
  Put16(r, d.bcdDevice);
  r.insert(r.end(), {0, 0, 0, 1, 1, 1});
  return r;
}

std::vector<uint8_t> RetSubmit(uint32_t seq, int32_t status, const std::vector<uint8_t>& data,
                               uint32_t actual) {
  std::vector<uint8_t> out;
  Put32(out, 3);
  Put32(out, seq);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, static_cast<uint32_t>(status));
  Put32(out, actual);
  out.resize(48, 0);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::vector<uint8_t> RetUnlink(uint32_t seq, int32_t status) {
  std::vector<uint8_t> out;
  Put32(out, 4);
  Put32(out, seq);
  out.resize(0x14, 0);
  Put32(out, static_cast<uint32_t>(status));
  out.resize(48, 0);
  return out;
}

}  // namespace

UsbipStubServer::Device UsbipStubServer::Receiver(std::string busId, uint16_t packetSize) {
  Device d;
  d.busId = std::move(busId);
  d.deviceDescriptor = {18,   1,    0,    2,    0xFF, 0, 0, 64, 0x34,
                        0x12, 0x78, 0x56, 0x00, 0x02, 1, 2, 0,  1};
  const auto lo = static_cast<uint8_t>(packetSize & 0xFF);
  const auto hi = static_cast<uint8_t>(packetSize >> 8);
  d.configuration = {9, 2, 32, 0, 1,    1, 0,  0x80, 50, 9, 4, 0,    0, 2,  0xFF, 0,
                     0, 0, 7,  5, 0x01, 2, lo, hi,   0,  7, 5, 0x82, 2, lo, hi,   0};
  d.strings[1] = {6, 3, 'P', 0, 'w', 0};
  d.strings[2] = {6, 3, 'R', 0, 'x', 0};
  return d;
}

UsbipStubServer::UsbipStubServer() {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listen_, 16);
  socklen_t size = sizeof address;
  ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

UsbipStubServer::~UsbipStubServer() {
  stopping_ = true;
  acceptor_.join();
  {
    std::lock_guard lock(mutex_);
    for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
  }
  for (auto& thread : threads_) thread.join();
  for (int fd : connections_) ::close(fd);
  ::close(listen_);
}

void UsbipStubServer::AcceptLoop() {
  while (!stopping_) {
    pollfd p{listen_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    connections_.push_back(fd);
    threads_.emplace_back([this, fd] { Serve(fd); });
  }
}

void UsbipStubServer::Serve(int fd) {
  uint8_t header[8];
  std::string imported;
  if (ReadAll(fd, header, 8)) {
    const uint16_t code = static_cast<uint16_t>(header[2] << 8 | header[3]);
    std::vector<uint8_t> reply;
    if (code == 0x8005) {
      std::unique_lock lock(mutex_);
      Put16(reply, 0x0111);
      Put16(reply, 0x0005);
      Put32(reply, 0);
      uint32_t count = 0;
      for (auto& [id, state] : devices_) count += state.listed ? 1 : 0;
      Put32(reply, count);
      for (auto& [id, state] : devices_) {
        if (!state.listed) continue;
        auto record = DeviceRecord(state.device);
        reply.insert(reply.end(), record.begin(), record.end());
        reply.insert(reply.end(), {0xFF, 0, 0, 0});  // one interface record
      }
      const auto trickle = trickle_;
      lock.unlock();
      if (trickle.count() == 0) {
        WriteAll(fd, reply);
      } else {
        for (size_t i = 0; i < reply.size() && !stopping_; ++i) {
          if (!WriteAll(fd, {reply[i]})) break;
          std::this_thread::sleep_for(trickle);
        }
      }
    } else if (code == 0x8003) {
      char busId[33] = {};
      if (ReadAll(fd, busId, 32)) {
        std::lock_guard lock(mutex_);
        auto found = devices_.find(busId);
        Put16(reply, 0x0111);
        Put16(reply, 0x0003);
        if (found != devices_.end() && found->second.listed && found->second.connection < 0) {
          Put32(reply, 0);
          auto record = DeviceRecord(found->second.device);
          reply.insert(reply.end(), record.begin(), record.end());
          found->second.connection = fd;
          ++found->second.imports;
          imported = busId;
        } else {
          Put32(reply, 1);
        }
        WriteAll(fd, reply);
      }
    }
  }
  if (!imported.empty()) ServeUrbs(fd, imported);
  std::lock_guard lock(mutex_);
  if (auto found = devices_.find(imported);
      found != devices_.end() && found->second.connection == fd) {
    found->second.connection = -1;
    found->second.pending.clear();
  }
  ::shutdown(fd, SHUT_RDWR);
  // The descriptor stays open until the server ends, so a removal's shutdown never hits a
  // reused number.
}

void UsbipStubServer::ServeUrbs(int fd, const std::string& busId) {
  std::shared_ptr<std::mutex> writeMutex;
  {
    std::lock_guard lock(mutex_);
    writeMutex = devices_[busId].writeMutex;
  }
  uint8_t h[48];
  const auto stalled = [&] {
    std::lock_guard lock(mutex_);
    return devices_[busId].stopReading;
  };
  while (ReadAll(fd, h, 48)) {
    if (stalled()) {
      while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return;
    }
    const uint32_t command = Get32(h);
    const uint32_t seq = Get32(h + 4);
    std::vector<uint8_t> reply;
    std::unique_lock lock(mutex_);
    auto& state = devices_[busId];
    const uint32_t devid = state.device.busNum << 16 | state.device.devNum;
    if (Get32(h + 8) != devid && command == 1) return;  // as the Linux server does
    if (command == 1) {
      const uint32_t direction = Get32(h + 0x0C);
      const uint32_t ep = Get32(h + 0x10);
      const uint32_t length = Get32(h + 0x18);
      std::vector<uint8_t> data;
      if (direction == 0 && length > 0) {
        data.resize(length);
        lock.unlock();
        if (!ReadAll(fd, data.data(), length)) return;
        lock.lock();
      }
      if (ep == 0 && state.silentControl) {
        state.pending.push_back({seq, length});
      } else if (ep == 0) {
        const uint8_t* setup = h + 0x28;
        const std::vector<uint8_t>* source = nullptr;
        if (setup[0] == 0x80 && setup[1] == 6) {
          if (setup[3] == 1) source = &state.device.deviceDescriptor;
          if (setup[3] == 2) source = &state.device.configuration;
          if (setup[3] == 3 && state.device.strings.count(setup[2])) {
            source = &state.device.strings[setup[2]];
          }
        }
        if (source) {
          std::vector<uint8_t> answer(source->begin(),
                                      source->begin() + std::min<size_t>(source->size(), length));
          reply = RetSubmit(seq, 0, answer, static_cast<uint32_t>(answer.size()));
        } else {
          reply = RetSubmit(seq, -32, {}, 0);
        }
      } else if (direction == 0) {
        state.written.push_back(data);
        reply = RetSubmit(seq, 0, {}, length);
      } else {
        state.readLengths.push_back(length);
        if (!state.reads.empty()) {
          auto answer = std::move(state.reads.front());
          state.reads.pop_front();
          answer.resize(std::min<size_t>(answer.size(), length));
          reply = RetSubmit(seq, 0, answer, static_cast<uint32_t>(answer.size()));
        } else {
          state.pending.push_back({seq, length});
        }
      }
    } else if (command == 2) {
      const uint32_t victim = Get32(h + 0x14);
      ++state.unlinks;
      auto found = std::find_if(state.pending.begin(), state.pending.end(),
                                [&](const Pending& p) { return p.seq == victim; });
      if (found == state.pending.end()) {
        reply = RetUnlink(seq, 0);
      } else if (state.lateAnswer) {
        reply = RetSubmit(victim, 0, *state.lateAnswer,
                          static_cast<uint32_t>(state.lateAnswer->size()));
        auto unlink = RetUnlink(seq, 0);
        reply.insert(reply.end(), unlink.begin(), unlink.end());
        state.pending.erase(found);
      } else {
        reply = RetUnlink(seq, state.unlinkWithoutSubmit ? 0 : -104);
        state.pending.erase(found);
      }
    } else {
      return;
    }
    lock.unlock();
    if (!reply.empty()) {
      std::lock_guard write(*writeMutex);
      if (!WriteAll(fd, reply)) return;
    }
  }
}

void UsbipStubServer::AddDevice(Device device) {
  std::lock_guard lock(mutex_);
  auto& state = devices_[device.busId];
  state.device = std::move(device);
  state.listed = true;
}

void UsbipStubServer::RemoveDevice(const std::string& busId) {
  std::lock_guard lock(mutex_);
  auto found = devices_.find(busId);
  if (found == devices_.end()) return;
  found->second.listed = false;
  if (found->second.connection >= 0) ::shutdown(found->second.connection, SHUT_RDWR);
}

void UsbipStubServer::QueueRead(const std::string& busId, std::vector<uint8_t> data) {
  std::unique_lock lock(mutex_);
  auto& state = devices_[busId];
  if (state.pending.empty() || state.connection < 0) {
    state.reads.push_back(std::move(data));
    return;
  }
  const Pending pending = state.pending.front();
  state.pending.pop_front();
  data.resize(std::min<size_t>(data.size(), pending.length));
  const int fd = state.connection;
  auto writeMutex = state.writeMutex;
  auto reply = RetSubmit(pending.seq, 0, data, static_cast<uint32_t>(data.size()));
  lock.unlock();
  std::lock_guard write(*writeMutex);
  WriteAll(fd, reply);
}

void UsbipStubServer::SilenceControl(const std::string& busId) {
  std::lock_guard lock(mutex_);
  devices_[busId].silentControl = true;
}

void UsbipStubServer::SendRaw(const std::string& busId, std::vector<uint8_t> bytes) {
  std::unique_lock lock(mutex_);
  auto& state = devices_[busId];
  if (state.connection < 0) return;
  const int fd = state.connection;
  auto writeMutex = state.writeMutex;
  lock.unlock();
  std::lock_guard write(*writeMutex);
  WriteAll(fd, bytes);
}

void UsbipStubServer::AnswerUnlinksLate(const std::string& busId, std::vector<uint8_t> data) {
  std::lock_guard lock(mutex_);
  devices_[busId].lateAnswer = std::move(data);
}

void UsbipStubServer::StopReading(const std::string& busId) {
  std::lock_guard lock(mutex_);
  devices_[busId].stopReading = true;
}

void UsbipStubServer::TrickleDeviceLists(std::chrono::milliseconds perByte) {
  std::lock_guard lock(mutex_);
  trickle_ = perByte;
}

void UsbipStubServer::AnswerUnlinksWithoutSubmit(const std::string& busId) {
  std::lock_guard lock(mutex_);
  devices_[busId].lateAnswer.reset();
  devices_[busId].unlinkWithoutSubmit = true;
}

std::vector<std::vector<uint8_t>> UsbipStubServer::Written(const std::string& busId) const {
  std::lock_guard lock(mutex_);
  auto found = devices_.find(busId);
  return found == devices_.end() ? std::vector<std::vector<uint8_t>>{} : found->second.written;
}

std::vector<uint32_t> UsbipStubServer::ReadLengths(const std::string& busId) const {
  std::lock_guard lock(mutex_);
  auto found = devices_.find(busId);
  return found == devices_.end() ? std::vector<uint32_t>{} : found->second.readLengths;
}

int UsbipStubServer::Unlinks(const std::string& busId) const {
  std::lock_guard lock(mutex_);
  auto found = devices_.find(busId);
  return found == devices_.end() ? 0 : found->second.unlinks;
}

int UsbipStubServer::Imports(const std::string& busId) const {
  std::lock_guard lock(mutex_);
  auto found = devices_.find(busId);
  return found == devices_.end() ? 0 : found->second.imports;
}

size_t UsbipStubServer::PendingReads(const std::string& busId) const {
  std::lock_guard lock(mutex_);
  auto found = devices_.find(busId);
  return found == devices_.end() ? 0 : found->second.pending.size();
}
