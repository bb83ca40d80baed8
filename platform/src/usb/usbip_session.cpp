// An imported USB/IP device: URBs out on the connection, replies matched by seqnum on a reader
// thread. A broken connection fails every outstanding request and counts as a removal.

#include <cstring>

#include "tcp.hpp"
#include "usbip_client.hpp"

namespace pw::usb {

using namespace std::chrono_literals;

namespace {
constexpr auto kWriteTimeout = 2000ms;
constexpr auto kUnlinkWait = 1000ms;
}  // namespace

void UsbipShared::ConnectionLost(const std::string& path) {
  BackendSink* target = nullptr;
  {
    std::lock_guard lock(mutex);
    if (auto found = imported.find(path); found != imported.end() && --found->second <= 0) {
      imported.erase(found);
    }
    // Listed again later, the device arrives anew.
    present.erase(path);
    target = sink;
  }
  if (target) target->DeviceRemoved(path);
}

void UsbipShared::Released(const std::string& path) {
  std::lock_guard lock(mutex);
  if (auto found = imported.find(path); found != imported.end() && --found->second <= 0) {
    imported.erase(found);
  }
  heldUntil[path] = std::chrono::steady_clock::now() + holdAfterClose;
}

UsbipSession::UsbipSession(std::shared_ptr<UsbipShared> shared, std::string path, int fd,
                           uint32_t devid)
    : shared_(std::move(shared)), path_(std::move(path)), fd_(fd), devid_(devid) {
  writer_ = std::thread([this] { WriterLoop(); });
  reader_ = std::thread([this] { ReaderLoop(); });
}

UsbipSession::~UsbipSession() {
  bool lost = false;
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    lost = dead_;
  }
  {
    std::lock_guard lock(outboxMutex_);
    writerStopping_ = true;
    outboxReady_.notify_all();
  }
  TcpShutdown(fd_);  // also ends a write that waits for the server
  writer_.join();
  reader_.join();
  TcpClose(fd_);
  if (!lost) shared_->Released(path_);
}

void UsbipSession::WritePdu(std::span<const uint8_t> header, std::span<const uint8_t> data) {
  std::vector<uint8_t> pdu(header.begin(), header.end());
  pdu.insert(pdu.end(), data.begin(), data.end());
  std::lock_guard lock(outboxMutex_);
  outbox_.push_back(std::move(pdu));
  outboxReady_.notify_all();
}

void UsbipSession::WriterLoop() {
  std::unique_lock lock(outboxMutex_);
  while (true) {
    outboxReady_.wait(lock, [&] { return writerStopping_ || !outbox_.empty(); });
    if (writerStopping_) return;
    const std::vector<uint8_t> pdu = std::move(outbox_.front());
    outbox_.pop_front();
    lock.unlock();
    if (!TcpWriteAll(fd_, pdu, kWriteTimeout)) {
      // A half-written PDU desynchronises the stream: end the connection; the reader fails
      // everything and reports the removal.
      TcpShutdown(fd_);
      return;
    }
    lock.lock();
  }
}

void UsbipSession::Send(const RequestPtr& request, uint8_t endpointNumber,
                        const std::array<uint8_t, 8>& setup) {
  uint32_t seq = 0;
  {
    std::lock_guard lock(mutex_);
    if (!dead_ && !closing_) {
      seq = nextSeq_++;
      if (nextSeq_ == 0) nextSeq_ = 1;
      pending_[seq] =
          Pending{request, request->direction(), static_cast<uint32_t>(request->length())};
    }
  }
  if (seq == 0) {
    request->Complete(Status::NoDevice, 0);
    return;
  }
  const auto header = usbip::EncodeSubmit(seq, devid_, request->direction(), endpointNumber,
                                          static_cast<uint32_t>(request->length()), setup);
  std::span<const uint8_t> data;
  if (request->direction() == Direction::Out) data = request->OutData();
  WritePdu(header, data);
}

void UsbipSession::Submit(const RequestPtr& request) {
  if (request->length() > usbip::kMaxTransfer) {
    request->Complete(Status::InvalidParameter, 0);
    return;
  }
  Send(request, static_cast<uint8_t>(request->endpoint() & 0x0F), {});
}

void UsbipSession::Cancel(const RequestPtr& request) {
  uint32_t unlinkSeq = 0;
  uint32_t victim = 0;
  {
    std::lock_guard lock(mutex_);
    if (dead_ || closing_) return;
    for (auto& [seq, pending] : pending_) {
      if (pending.request == request) victim = seq;
    }
    if (victim == 0) return;
    unlinkSeq = nextSeq_++;
    if (nextSeq_ == 0) nextSeq_ = 1;
    unlinks_[unlinkSeq] = victim;
  }
  WritePdu(usbip::EncodeUnlink(unlinkSeq, devid_, victim), {});
}

Status UsbipSession::Control(const std::array<uint8_t, 8>& setup, std::span<uint8_t> data,
                             size_t* transferred, std::chrono::milliseconds timeout) {
  *transferred = 0;
  const size_t wLength = static_cast<size_t>(setup[6] | (setup[7] << 8));
  if (data.size() < wLength) return Status::InvalidParameter;
  const Direction direction = (setup[0] & 0x80) && wLength > 0 ? Direction::In : Direction::Out;
  auto request = std::make_shared<Request>(
      direction, direction == Direction::In ? uint8_t{0x80} : uint8_t{0x00}, wLength);
  if (direction == Direction::Out && wLength > 0) {
    std::memcpy(request->MutableOutData().data(), data.data(), wLength);
  }
  Send(request, 0, setup);
  if (!request->Wait(timeout)) {
    Cancel(request);
    if (!request->Wait(kUnlinkWait)) request->Complete(Status::Cancelled, 0);
    return Status::Timeout;
  }
  const Status status = request->status();
  if (status != Status::Success) return status;
  if (direction == Direction::In) {
    auto received = request->Received();
    std::memcpy(data.data(), received.data(), received.size());
    *transferred = received.size();
  } else {
    *transferred = request->Transferred();
  }
  return Status::Success;
}

void UsbipSession::ReaderLoop() {
  SocketReader in(fd_, 0ms);
  std::vector<uint8_t> data;
  auto lookup = [this](uint32_t seq) -> std::optional<usbip::Outstanding> {
    std::lock_guard lock(mutex_);
    auto found = pending_.find(seq);
    if (found == pending_.end()) return std::nullopt;
    return usbip::Outstanding{found->second.direction, found->second.length};
  };
  while (true) {
    const auto reply = usbip::ReadReply(in, lookup, &data);
    if (!reply) break;
    RequestPtr done;
    Status status = usbip::StatusFromUrb(reply->status);
    {
      std::lock_guard lock(mutex_);
      if (reply->command == usbip::kRetSubmit) {
        auto found = pending_.find(reply->seqnum);
        if (found != pending_.end()) {
          done = std::move(found->second.request);
          pending_.erase(found);
        }
      } else if (auto unlink = unlinks_.find(reply->seqnum); unlink != unlinks_.end()) {
        const uint32_t victim = unlink->second;
        unlinks_.erase(unlink);
        // Usually status 0 means too late: the victim's RET_SUBMIT (with its data) came first.
        // A victim still pending now gets no RET_SUBMIT, whatever the status (a Linux server
        // can answer 0 without one): it ends here, never left pending.
        if (auto found = pending_.find(victim); found != pending_.end()) {
          done = std::move(found->second.request);
          pending_.erase(found);
          status = Status::Cancelled;
        }
      }
    }
    if (done) done->Complete(status, reply->actualLength, data);
  }
  std::map<uint32_t, Pending> failed;
  bool announce = false;
  {
    std::lock_guard lock(mutex_);
    dead_ = true;
    failed.swap(pending_);
    unlinks_.clear();
    announce = !closing_;
  }
  // Every request in flight fails before the removal is reported.
  for (auto& [seq, pending] : failed) pending.request->Complete(Status::NoDevice, 0);
  if (announce) {
    TcpShutdown(fd_);
    shared_->ConnectionLost(path_);
  }
}

}  // namespace pw::usb
