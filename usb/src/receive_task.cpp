// The receive worker: request, the receiver's file information, data packets each answered
// with PKT_OK, then the end of the file; at the end the local file gets the time and
// attributes the receiver gave.
//
// Without a start position the local file is replaced only once the receiver has answered the
// request with the file's information, so asking for a file the receiver does not have never
// destroys a local one. A partly received file stays; a Posi call resumes it.
//
// Only a whole file is reported done: a PKT_FAIL with reason 0 counts as success only when the
// announced size has arrived, and a request answered by anything but the file information is
// a failure whatever its reason. The times and attributes of the receiver's file are set only
// on success, so a failed task leaves the local file's times to the caller.
#include <algorithm>
#include <chrono>
#include <vector>

#include "HvUsb.h"
#include "bulk_io.h"
#include "command_packet.h"
#include "file_payloads.h"
#include "file_task.h"
#include "library_state.h"
#include "task_outcome.h"

namespace hvusb {
namespace {

constexpr uint32_t kInfoExpected = kPacketHeaderSize + kFileInfoSize;
constexpr uint32_t kDataExpected = 65535;
constexpr uint32_t kDrainReadMs = 1000;
constexpr uint32_t kAfterDrainReadMs = 30000;
constexpr std::chrono::milliseconds kReceiveDrain{12000};
constexpr size_t kMaxFallbackPath = 255;

using pw::files::File;

bool Acknowledge() {
  return UsbCommandSend(kPktOk, nullptr, 0) != 0;
}

// The local file's own name with every character outside 0x20-0x7E replaced by "_"; empty
// when nothing needed replacing or the path is not 1 to 255 characters long.
std::string PrintableName(const std::string& path) {
  if (path.empty() || path.size() > kMaxFallbackPath) return {};
  // Only the name is changed: the folders above it exist under their own names.
  std::string changed = path;
  bool replaced = false;
  for (size_t i = path.size() - pw::files::NameOf(path).size(); i < changed.size(); ++i) {
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

// Where the received bytes go. Below `localEnd` (a checked resume) they are compared with
// the local file instead of written.
struct Sink {
  explicit Sink(File& f) : file(f) {}
  File& file;
  uint64_t localEnd = 0;
  std::vector<uint8_t> scratch;  // the local bytes to compare, allocated once per task
  uint64_t reached = 0;          // the end of the data so far
};

enum class Taken { kOk, kWriteFailed, kDiffers };

// One data packet at its offset (0: where the last one ended).
Taken TakeData(Sink& sink, const Packet& packet) {
  const uint64_t offset = Get64(packet.payload);
  if (offset != 0 && !sink.file.Seek(offset)) return Taken::kWriteFailed;
  const auto at = sink.file.Position();
  if (!at) return Taken::kWriteFailed;
  const uint8_t* data = packet.payload + 8;
  size_t length = packet.payloadLength - 8;
  uint64_t position = *at;
  if (position < sink.localEnd) {
    const auto overlap = static_cast<size_t>(std::min<uint64_t>(length, sink.localEnd - position));
    sink.scratch.resize(overlap);
    const auto got = sink.file.Read(sink.scratch.data(), overlap);
    const size_t same = static_cast<size_t>(
        std::mismatch(data, data + (got ? *got : 0), sink.scratch.begin()).first - data);
    if (same != overlap) {
      NoteMismatch(position + same);
      return Taken::kDiffers;
    }
    data += overlap;
    length -= overlap;
    position += overlap;
  }
  if (length != 0 && !sink.file.Write(data, length)) return Taken::kWriteFailed;
  sink.reached = std::max(sink.reached, position + length);
  return Taken::kOk;
}

// The data loop, after the file information was acknowledged.
bool ReceiveData(Sink& sink, uint64_t announced) {
  uint8_t* receive = TaskReceiveBuffer();
  const uint64_t total = announced == 0 ? 1 : announced;
  // After a drain the next read waits longer; every other read waits the time-out in force.
  bool drained = false;
  int bad = 0;
  while (true) {
    const uint32_t count = ReadFrame(receive, kDataExpected,
                                     drained ? kAfterDrainReadMs : State().readTimeoutMs.load());
    drained = false;
    const PacketCheck check = CheckPacket(receive, count);
    uint32_t reason = check.reason;
    if (check.ok) {
      const Packet& packet = check.packet;
      switch (packet.command) {
        case kPktFileData: {
          const Taken taken = TakeData(sink, packet);
          if (taken == Taken::kWriteFailed) {
            SendFail(kReasonWrite);
            return FailedLocally(TaskFailure::kLocalWrite, sink.file.error());
          }
          if (taken == Taken::kDiffers) {
            Failed(TaskFailure::kResumeMismatch);
            return Abandon(receive);
          }
          NoteSizes(sink.reached, announced);
          if (CancelRequested()) {
            Failed(TaskFailure::kCancelled);
            return Abandon(receive);
          }
          SetPercent(sink.file.Position().value_or(0), total);
          Acknowledge();
          bad = 0;
          continue;
        }
        case kPktFileEnd:
          Acknowledge();
          return true;
        case kPktFail:
          // Reason 0 ends a transfer well only when the whole file is here.
          if (packet.payloadLength >= 4 && Get32bit(packet.payload) == 0) {
            return sink.reached >= announced || Failed(TaskFailure::kShortFile);
          }
          return FailedAnswer(check, count, 0);
        case kPktCancel:
          Acknowledge();
          return Failed(TaskFailure::kReceiverCancel);
        default:
          reason = kReasonUnexpected;
          break;
      }
    }
    if (++bad == 2) {
      SendFail(reason);
      return FailedAnswer(check, count, reason);
    }
    if (!Drain(TaskTimeout(kReceiveDrain), kDrainReadMs)) return Failed(TaskFailure::kCancelled);
    drained = true;
  }
}

// Request and answer; then the data. `file` is open already for a resume.
bool Receive(const std::string& local, const std::string& remote, uint64_t start, bool resume,
             Sink& sink, FileRecord* record) {
  uint8_t* packet = TaskPacketBuffer();
  const uint32_t length =
      EncodeRequest(packet + kPacketHeaderSize, /*receive=*/true, remote, start);
  Tasks().startPosition.store(0);
  SendSealed(packet, kPktFileRequest, length);  // a request that did not go gets no answer

  uint8_t* receive = TaskReceiveBuffer();
  const uint32_t count = UsbRead(receive, kInfoExpected);
  const PacketCheck check = CheckPacket(receive, count);
  if (!check.ok) {
    SendFail(check.reason);
    return FailedAnswer(check, count, check.reason);
  }
  if (check.packet.command != kPktFileInfo) {
    // No file information came, so no file did, whatever reason the answer gives.
    SendFail(kReasonNotInfo);
    return FailedAnswer(check, count, kReasonNotInfo);
  }
  const FileRecord info = DecodeFileInfo(check.packet.payload);
  const auto name = record->name;
  *record = info;
  record->name = name;
  sink.reached = start;
  NoteSizes(start, info.size);
  if (sink.localEnd > info.size) {
    Failed(TaskFailure::kResumeBeyondEnd);
    return Abandon(receive);
  }
  if (!resume && !CreateLocal(local, &sink.file)) {
    SendFail(kReasonWrite);
    return FailedLocally(TaskFailure::kLocalOpen, sink.file.error());
  }
  Acknowledge();
  return ReceiveData(sink, info.size);
}

}  // namespace

bool RunReceive(const std::string& local, const std::string& remote) {
  Tasks().percent.store(0);
  FileRecord record;
  SetRecordName(&record, local);
  File file;
  Sink sink(file);
  const uint64_t start = Tasks().startPosition.load();
  const bool checked = Tasks().checkedResume.load();
  const bool resume = start != 0 || checked;
  if (resume && !OpenForResume(local, &file, &record)) {
    return FailedLocally(TaskFailure::kLocalOpen, file.error());
  }
  if (checked) {
    const auto size = file.Size();
    if (!size) return FailedLocally(TaskFailure::kLocalRead, file.error());
    sink.localEnd = *size;
  }
  const bool ok = Receive(local, remote, start, resume, sink, &record);
  if (ok && file.SetTimes(RecordTime(record))) file.SetAttributes(record.attributes);
  return ok;
}

}  // namespace hvusb
