// The send worker: request, file information, data blocks of up to 65,024 bytes each
// acknowledged, then the end of the file.
//
// A block whose acknowledgement is missing or damaged is not sent again: the worker drains
// what the receiver sends for 20 s and goes on with the next block; a second miss in a row
// ends the task. Even when the rest goes well, such a task ends with failure, since the
// receiver never confirmed that block. A block that cannot be read or sent ends the task with
// PKT_CANCEL instead of PKT_FILE_END.
#include <chrono>

#include "HvUsb.h"
#include "command_packet.h"
#include "file_payloads.h"
#include "file_task.h"
#include "library_state.h"
#include "task_outcome.h"

namespace hvusb {
namespace {

constexpr std::chrono::milliseconds kSendDrain{20000};
constexpr uint32_t kAnswerExpected = 12;

bool SendRequest(const std::string& remote) {
  uint8_t* packet = TaskPacketBuffer();
  const uint32_t length =
      EncodeRequest(packet + kPacketHeaderSize, /*receive=*/false, remote, /*position=*/0);
  return SendSealed(packet, kPktFileRequest, length);
}

bool SendInfo(const FileRecord& record) {
  uint8_t* packet = TaskPacketBuffer();
  EncodeFileInfo(record, packet + kPacketHeaderSize);
  return SendSealed(packet, kPktFileInfo, kFileInfoSize);
}

}  // namespace

bool RunSend(const std::string& remote, const std::string& local) {
  Tasks().percent.store(0);
  FileRecord record;
  SetRecordName(&record, local);
  pw::files::File file;
  if (!file.Open(local, pw::files::File::Mode::ReadExisting)) {
    return FailedLocally(TaskFailure::kLocalOpen, file.error());
  }
  uint8_t* receive = TaskReceiveBuffer();
  if (!SendRequest(remote)) return Failed(TaskFailure::kNoAnswer);
  if (!AwaitAck(receive)) return false;
  if (!DescribeFile(file, &record)) return FailedLocally(TaskFailure::kLocalRead, file.error());
  if (!SendInfo(record)) return Failed(TaskFailure::kNoAnswer);
  if (!AwaitAck(receive)) return false;

  if (const uint64_t start = Tasks().startPosition.exchange(0); start != 0) {
    if (!file.Seek(start)) {
      FailedLocally(TaskFailure::kLocalRead, file.error());
      return Abandon(receive);
    }
  }
  const uint64_t total = record.size == 0 ? 1 : record.size;
  uint8_t* packet = TaskPacketBuffer();
  int misses = 0;
  bool unconfirmed = false;
  while (true) {
    const auto offset = file.Position();
    const auto read = offset ? file.Read(packet + kDataHeaderSize, kMaxBlock) : std::nullopt;
    if (!read) {
      FailedLocally(TaskFailure::kLocalRead, file.error());
      return Abandon(receive);
    }
    if (*read == 0) break;
    Put64(packet + kPacketHeaderSize, *offset);
    if (!SendSealed(packet, kPktFileData, static_cast<uint32_t>(*read) + 8)) {
      Failed(TaskFailure::kNoAnswer);
      return Abandon(receive);
    }
    const uint32_t count = UsbRead(receive, kAnswerExpected);
    const PacketCheck check = CheckPacket(receive, count);
    if (!check.ok || check.packet.command != kPktOk) {
      if (++misses == 2) {
        const uint32_t reason = check.ok ? kReasonNotOk : check.reason;
        SendFail(reason);
        return FailedAnswer(check, count, reason);
      }
      unconfirmed = true;
      if (!Drain(TaskTimeout(kSendDrain), State().readTimeoutMs.load()))
        return Failed(TaskFailure::kCancelled);
      continue;
    }
    misses = 0;
    if (*read < kMaxBlock) break;
    if (CancelRequested()) {
      Failed(TaskFailure::kCancelled);
      return Abandon(receive);
    }
    SetPercent(*offset, total);
  }
  if (UsbCommandSend(kPktFileEnd, nullptr, 0) == 0) return Failed(TaskFailure::kNoAnswer);
  if (!AwaitAck(receive)) return false;
  if (unconfirmed) return Failed(TaskFailure::kUnconfirmed);
  Tasks().percent.store(100);
  return true;
}

}  // namespace hvusb
