// The file store's dispatch, its packets to the host (with the injected faults and the
// resending of unanswered packets) and its report.
#include "file_store.h"

#include <unistd.h>

#include <filesystem>
#include <optional>

#include "PenwickHelpers.h"
#include "byte_order.h"
#include "store_folder.h"

namespace sim::files {
namespace {

constexpr int kResends = 3;

std::vector<uint8_t> FailPacket(uint32_t reason) {
  std::vector<uint8_t> payload;
  Append32(&payload, reason);
  return EncodePacket(kFail, payload);
}

}  // namespace

FileStore::FileStore(FileStoreOptions options, uint16_t bcdDevice, uint16_t maxPacket)
    : options_(std::move(options)),
      swapped_(!usbip::HardwareSwapsPairs(bcdDevice)),
      maxPacket_(maxPacket),
      fired_(options_.faults.size(), false) {
  resender_ = std::thread([this] { ResendLoop(); });
}

FileStore::~FileStore() {
  bool ok = false;
  Finish(&ok);
  if (log_ != nullptr) std::fclose(log_);
}

bool FileStore::Open(std::string* error) {
  std::error_code ec;
  if (!std::filesystem::is_directory(options_.folder, ec)) {
    *error = "no folder " + options_.folder;
    return false;
  }
  if (!options_.log.empty() && (log_ = std::fopen(options_.log.c_str(), "w")) == nullptr) {
    *error = "cannot write " + options_.log;
    return false;
  }
  return true;
}

std::string FileStore::Path(const std::string& name) const {
  return options_.folder + "/" + name;
}

void FileStore::Log(const std::string& line) {
  if (log_ == nullptr) return;
  std::fprintf(log_, "%s\n", line.c_str());
  std::fflush(log_);
}

void FileStore::OnOut(std::span<const uint8_t> wire, usbip::BulkPort& port) {
  std::lock_guard send(sendMu_);
  std::vector<std::optional<std::vector<uint8_t>>> queued;
  {
    std::lock_guard lock(mu_);
    port_ = &port;
    Handle(wire);
    queued.swap(outbox_);
  }
  Deliver(std::move(queued), &port);
}

void FileStore::Deliver(std::vector<std::optional<std::vector<uint8_t>>> queued,
                        usbip::BulkPort* port) {
  if (port == nullptr) return;
  for (auto& entry : queued) {
    if (entry) {
      port->SendIn(std::move(*entry));
    } else {
      port->Reboot();
    }
  }
}

void FileStore::Handle(std::span<const uint8_t> wire) {
  resendsLeft_ = 0;  // the host has spoken: whatever it answered, nothing is sent again
  const std::vector<uint8_t> bytes =
      swapped_ ? usbip::SwapPairs(wire) : std::vector<uint8_t>(wire.begin(), wire.end());
  std::string error;
  const auto packet = DecodePacket(bytes, maxPacket_, &error);
  if (!packet) {
    Log("<- damaged packet: " + error);
    HostFault("a damaged packet (" + error + ")", kReasonBadPacket);
    return;
  }
  switch (packet->command) {
    case kFileRequest:
      return OnRequest(*packet);
    case kFileInfo:
      return OnInfo(*packet);
    case kFileData:
      return OnData(*packet);
    case kFileEnd:
      Log("<- END");
      return OnEnd();
    case kOk:
      Log("<- OK");
      return OnOk();
    case kCancel:
      Log("<- CANCEL");
      return OnCancel();
    case kFail:
      return OnHostFail(*packet);
    default:
      Log("<- command " + std::to_string(packet->command));
      HostFault("unknown command " + std::to_string(packet->command), kReasonUnexpected);
  }
}

void FileStore::OnReset() {
  std::lock_guard lock(mu_);
  if (phase_ != Phase::kIdle) Log("reset: the transfer in progress is dropped");
  EndTransfer();
  silent_ = false;
}

void FileStore::OnRequest(const CommandPacket& packet) {
  silent_ = false;  // a new request ends a silence
  const std::vector<uint8_t>& p = packet.payload;
  if (p.size() < 3 || p[0] > 1) {
    Log("<- REQUEST of " + std::to_string(p.size()) + " bytes");
    HostFault("a malformed file request", kReasonBadPacket);
    return;
  }
  const bool receive = p[0] == 1;
  const size_t length = Get16bit(p.data() + 1);
  // A send carries the name with its terminating zero; a receive without it, then perhaps
  // the 8-byte start position.
  const bool fits = receive ? (p.size() == 3 + length || p.size() == 3 + length + 8)
                            : (length >= 1 && p.size() == 3 + length && p.back() == 0);
  if (!fits) {
    Log("<- REQUEST with a name length of " + std::to_string(length) + " in " +
        std::to_string(p.size()) + " bytes");
    HostFault("a file request whose name length does not match", kReasonBadPacket);
    return;
  }
  const std::string name(p.begin() + 3,
                         p.begin() + 3 + static_cast<ptrdiff_t>(receive ? length : length - 1));
  const uint64_t position = receive && p.size() == 3 + length + 8 ? Read64(&p[3 + length]) : 0;
  Log(std::string("<- REQUEST ") + (receive ? "receive" : "send") + " \"" + name + "\"" +
      (position != 0 || (receive && p.size() > 3 + length) ? " position=" + std::to_string(position)
                                                           : ""));
  if (phase_ != Phase::kIdle) Log("the transfer in progress is given up");
  EndTransfer();
  if (!AcceptableName(name)) {
    Refuse(kReasonBadName, "a name the store does not take");
  } else if (receive) {
    StartOutgoing(name, position);
  } else {
    StartIncoming(name);
  }
}

bool FileStore::OutOfTurn(const char* what) {
  if (phase_ == Phase::kAbandoned) {
    Emit(FailPacket(kReasonNoTransfer), false, "FAIL reason=8 (no transfer)");
    return true;
  }
  HostFault(std::string(what) + " outside its place in the exchange", kReasonUnexpected);
  return true;
}

void FileStore::HostFault(const std::string& text, uint32_t reason) {
  Log("host fault: " + text);
  if (firstFault_.empty()) firstFault_ = text;
  EndTransfer(Phase::kAbandoned);
  Emit(FailPacket(reason), false, "FAIL reason=" + std::to_string(reason));
}

void FileStore::Refuse(uint32_t reason, const std::string& why) {
  EndTransfer();
  Emit(FailPacket(reason), false, "FAIL reason=" + std::to_string(reason) + " (" + why + ")");
}

void FileStore::CloseFile() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void FileStore::EndTransfer(Phase next) {
  CloseFile();
  phase_ = next;
  in_ = Incoming{};
  out_ = Outgoing{};
  resendsLeft_ = 0;
}

void FileStore::OnCancel() {
  if (phase_ == Phase::kIdle) {
    OutOfTurn("CANCEL");
    return;
  }
  events_.push_back("host cancelled");
  EndTransfer();
  Emit(EncodePacket(kOk), false, "OK");
}

void FileStore::OnHostFail(const CommandPacket& packet) {
  if (packet.payload.size() != 4) {
    Log("<- FAIL of " + std::to_string(packet.payload.size()) + " bytes");
    HostFault("PKT_FAIL without a 4-byte reason", kReasonBadPacket);
    return;
  }
  // The host writes its reasons in little-endian order.
  const uint32_t reason = packet.payload[0] | packet.payload[1] << 8 | packet.payload[2] << 16 |
                          static_cast<uint32_t>(packet.payload[3]) << 24;
  Log("<- FAIL reason=" + std::to_string(reason));
  events_.push_back("host PKT_FAIL " + std::to_string(reason));
  EndTransfer();
}

void FileStore::Emit(std::vector<uint8_t> packet, bool awaited, const std::string& text) {
  if (silent_) {
    Log("-> " + text + " (not sent: silent)");
    return;
  }
  const uint64_t number = ++sent_;
  std::optional<FaultKind> fault;
  for (size_t i = 0; i < options_.faults.size() && !fault; ++i) {
    if (fired_[i] || options_.faults[i].at != number) continue;
    fired_[i] = true;
    fault = options_.faults[i].kind;
    events_.push_back(std::string("fault ") + FaultName(*fault) + "@" + std::to_string(number));
  }
  if (fault == FaultKind::kRefuse) {
    Log("-> FAIL reason=7 (refused) instead of " + text);
    EndTransfer(Phase::kAbandoned);
    Put(FailPacket(kReasonRefused));
    return;
  }
  if (fault == FaultKind::kCancel) {
    Log("-> CANCEL instead of " + text);
    if (phase_ == Phase::kOutgoing) {
      CloseFile();
      out_.awaiting = Awaiting::kCancelOk;  // the host answers with PKT_OK
    } else {
      EndTransfer(Phase::kAbandoned);
    }
    Put(EncodePacket(kCancel));
    return;
  }
  if (fault == FaultKind::kDisconnect) {
    Log("-> " + text + " not sent: disconnect");
    EndTransfer();
    PutReboot();
    return;
  }
  if (fault == FaultKind::kSilence) {
    Log("-> " + text + " not sent: silent until the next request");
    silent_ = true;
    return;
  }
  if (fault == FaultKind::kCrc) {
    std::vector<uint8_t> damaged = packet;
    damaged[3] ^= 0x5A;
    Log("-> " + text + " (CRC damaged)");
    Put(damaged);
  } else if (fault == FaultKind::kDrop) {
    Log("-> " + text + " (lost)");
  } else {
    Log("-> " + text);
    Put(packet);
  }
  if (awaited) {
    last_ = std::move(packet);  // a resend goes out undamaged
    resendsLeft_ = kResends;
    resendAt_ = Clock::now() + options_.resend;
    wake_.notify_all();
  }
}

void FileStore::Put(const std::vector<uint8_t>& packet) {
  if (!swapped_) {
    outbox_.emplace_back(packet);
    return;
  }
  std::vector<uint8_t> even = packet;
  if (even.size() % 2 != 0) even.push_back(0);
  outbox_.emplace_back(usbip::SwapPairs(even));
}

void FileStore::PutReboot() {
  outbox_.emplace_back(std::nullopt);
}

void FileStore::ResendLoop() {
  std::unique_lock lock(mu_);
  while (!stopping_) {
    if (resendsLeft_ == 0 || options_.resend.count() == 0 || silent_) {
      wake_.wait(lock);
      continue;
    }
    if (Clock::now() < resendAt_) {
      wake_.wait_until(lock, resendAt_);
      continue;
    }
    // Deliveries keep their order: take the send lock first, then look again.
    lock.unlock();
    {
      std::lock_guard send(sendMu_);
      std::vector<std::optional<std::vector<uint8_t>>> queued;
      usbip::BulkPort* port = nullptr;
      {
        std::lock_guard again(mu_);
        if (!stopping_ && resendsLeft_ != 0 && !silent_ && Clock::now() >= resendAt_) {
          --resendsLeft_;
          ++resent_;
          resendAt_ = Clock::now() + options_.resend;
          Log("-> the last packet again (no answer)");
          Put(last_);
          queued.swap(outbox_);
          port = port_;
        }
      }
      Deliver(std::move(queued), port);
    }
    lock.lock();
  }
}

std::string FileStore::Finish(bool* ok) {
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
    port_ = nullptr;
    wake_.notify_all();
  }
  if (resender_.joinable()) resender_.join();
  std::lock_guard lock(mu_);
  CloseFile();
  *ok = firstFault_.empty();
  if (!*ok) return "SIM FAIL " + firstFault_;
  std::string line = "SIM OK files: " + std::to_string(stored_) + " stored, " +
                     std::to_string(served_) + " served";
  if (resent_ != 0) line += ", " + std::to_string(resent_) + " packets sent again";
  for (const std::string& event : events_) line += "; " + event;
  return line;
}

}  // namespace sim::files
