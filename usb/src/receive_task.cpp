// The receive worker: request, the receiver's file information, data packets each answered
// with PKT_OK, then the end of the file; at the end the local file gets the time and
// attributes the receiver gave.
//
// Without a start position the local file is replaced only once the receiver has answered the
// request with the file's information, so asking for a file the receiver does not have never
// destroys a local one. A partly received file stays; a Posi call resumes it.
#include <chrono>

#include "HvUsb.h"
#include "command_packet.h"
#include "file_payloads.h"
#include "file_task.h"
#include "library_state.h"

namespace hvusb {
namespace {

constexpr uint32_t kInfoExpected = kPacketHeaderSize + kFileInfoSize;
constexpr uint32_t kDataExpected = 65535;
constexpr uint32_t kDrainReadMs = 1000;
constexpr uint32_t kAfterDrainReadMs = 30000;
constexpr std::chrono::milliseconds kReceiveDrain{12000};
constexpr size_t kMaxFallbackPath = 255;

using pw::files::File;

// The read time-out the drain changes, restored on every way out of the data loop.
class ReadTimeoutGuard {
 public:
  ~ReadTimeoutGuard() { Restore(); }
  void Set(uint32_t ms) {
    if (!changed_) saved_ = State().readTimeoutMs.load();
    changed_ = true;
    State().readTimeoutMs.store(ms);
  }
  void Restore() {
    if (changed_) State().readTimeoutMs.store(saved_);
    changed_ = false;
  }

 private:
  bool changed_ = false;
  uint32_t saved_ = 0;
};

// The outcome carried by an answer's first 4 payload bytes (a receiver's reason, big-endian):
// success only for 0; an answer too short to carry one is a failure.
bool OutcomeOf(const Packet& packet) {
  return packet.payloadLength >= 4 && Get32bit(packet.payload) == 0;
}

bool Acknowledge() {
  return UsbCommandSend(kPktOk, nullptr, 0) != 0;
}

// The local file's own name with every character outside 0x20-0x7E replaced by "_"; empty
// when nothing needed replacing or the path is not 1 to 255 characters long.
std::string PrintableName(const std::string& path) {
  if (path.empty() || path.size() > kMaxFallbackPath) return {};
  const size_t slash = path.find_last_of('/');
  std::string changed = path;
  bool replaced = false;
  for (size_t i = slash == std::string::npos ? 0 : slash + 1; i < changed.size(); ++i) {
    const auto c = static_cast<unsigned char>(changed[i]);
    if (c < 0x20 || c > 0x7E) {
      changed[i] = '_';
      replaced = true;
    }
  }
  return replaced ? changed : std::string();
}

// Replaces the local file with a new empty one; when that name cannot be created, creates
// its printable form instead, but never over an existing file.
bool CreateLocal(const std::string& path, File* file) {
  pw::files::RemoveFile(path);
  if (file->Open(path, File::Mode::CreateNew)) return true;
  const std::string fallback = PrintableName(path);
  return !fallback.empty() && file->Open(fallback, File::Mode::CreateNew);
}

// Opens the partly received file for a resume; its attributes go into the record, made
// writable first when it was read-only.
bool OpenForResume(const std::string& path, File* file, FileRecord* record) {
  if (const auto attributes = pw::files::Attributes(path)) {
    record->attributes = *attributes;
    constexpr uint32_t kProtected =
        pw::files::kAttributeReadOnly | pw::files::kAttributeHidden | pw::files::kAttributeSystem;
    if ((*attributes & kProtected) != 0) {
      record->attributes = pw::files::kAttributeNormal;
      pw::files::SetAttributes(path, pw::files::kAttributeNormal);
    }
  }
  return file->Open(path, File::Mode::ReadWriteExisting);
}

// One data packet: written at its offset (0: where the last one ended). False when the local
// file refused it.
bool WriteData(File& file, const Packet& packet) {
  const uint64_t offset = Get64(packet.payload);
  if (offset != 0 && !file.Seek(offset)) return false;
  return file.Write(packet.payload + 8, packet.payloadLength - 8);
}

// The data loop, after the file information was acknowledged.
bool ReceiveData(File& file, uint64_t total) {
  uint8_t* receive = TaskReceiveBuffer();
  ReadTimeoutGuard timeout;
  int bad = 0;
  while (true) {
    const uint32_t count = UsbRead(receive, kDataExpected);
    timeout.Restore();
    const PacketCheck check = CheckPacket(receive, count);
    uint32_t reason = check.reason;
    if (check.ok) {
      const Packet& packet = check.packet;
      switch (packet.command) {
        case kPktFileData:
          if (!WriteData(file, packet)) {
            SendFail(kReasonWrite);
            return false;
          }
          if (CancelRequested()) {
            if (UsbCommandSend(kPktCancel, nullptr, 0) != 0) AwaitAck(receive);
            return false;
          }
          SetPercent(file.Position().value_or(0), total);
          Acknowledge();
          bad = 0;
          continue;
        case kPktFileEnd:
          Acknowledge();
          return true;
        case kPktFail:
          return OutcomeOf(packet);
        case kPktCancel:
          Acknowledge();
          return false;
        default:
          reason = kReasonUnexpected;
          break;
      }
    }
    if (++bad == 2) {
      SendFail(reason);
      return false;
    }
    timeout.Set(kDrainReadMs);
    if (!Drain(TaskTimeout(kReceiveDrain))) return false;
    timeout.Set(kAfterDrainReadMs);  // the next read waits longer, then the saved one is back
  }
}

// Request and answer; then the data. `file` is open already for a resume.
bool Receive(const std::string& local, const std::string& remote, uint64_t start, File& file,
             FileRecord* record) {
  uint8_t* packet = TaskPacketBuffer();
  const uint32_t length =
      EncodeRequest(packet + kPacketHeaderSize, /*receive=*/true, remote, start);
  Tasks().startPosition.store(0);
  SendSealed(packet, kPktFileRequest, length);  // a request that did not go gets no answer

  uint8_t* receive = TaskReceiveBuffer();
  const PacketCheck check = CheckPacket(receive, UsbRead(receive, kInfoExpected));
  if (!check.ok) {
    SendFail(check.reason);
    return false;
  }
  if (check.packet.command != kPktFileInfo) {
    SendFail(kReasonNotInfo);
    return OutcomeOf(check.packet);
  }
  const FileRecord info = DecodeFileInfo(check.packet.payload);
  const auto name = record->name;
  *record = info;
  record->name = name;
  if (start == 0 && !CreateLocal(local, &file)) {
    SendFail(kReasonWrite);
    return false;
  }
  Acknowledge();
  return ReceiveData(file, record->size == 0 ? 1 : record->size);
}

}  // namespace

bool RunReceive(const std::string& local, const std::string& remote) {
  Tasks().percent.store(0);
  FileRecord record;
  SetRecordName(&record, local);
  File file;
  const uint64_t start = Tasks().startPosition.load();
  if (start != 0 && !OpenForResume(local, &file, &record)) return false;
  const bool ok = Receive(local, remote, start, file, &record);
  if (file.IsOpen() && file.SetTimes(RecordTime(record))) file.SetAttributes(record.attributes);
  return ok;
}

}  // namespace hvusb
