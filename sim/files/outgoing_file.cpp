// A file the host receives: the file information, then data packets of at most 65,024 bytes
// from the start position on, each sent once the host has answered the one before with
// PKT_OK, then the end of the file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "PenwickHelpers.h"
#include "file_store.h"
#include "store_folder.h"

namespace sim::files {
namespace {

constexpr uint8_t kFileType = 2;

}  // namespace

void FileStore::StartOutgoing(const std::string& name, uint64_t position) {
  const auto stored = Describe(Path(name));
  if (!stored) {
    Refuse(kReasonNoFile, "no file " + name);
    return;
  }
  if (position > stored->size) {
    Refuse(kReasonPosition, "position beyond the end");
    return;
  }
  fd_ = open(Path(name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    Refuse(kReasonStore, "cannot read " + name);
    return;
  }
  phase_ = Phase::kOutgoing;
  out_.name = name;
  out_.size = stored->size;
  out_.next = position;
  out_.awaiting = Awaiting::kInfo;

  std::vector<uint8_t> info(kInfoSize, 0);
  Put16bit(info.data(), stored->mjd);
  info[2] = stored->hour;
  info[3] = stored->minute;
  info[4] = stored->second;
  info[5] = kFileType;
  Put32bit(&info[6], static_cast<uint32_t>(stored->size >> 32));
  Put32bit(&info[10], static_cast<uint32_t>(stored->size));
  if (name.size() < 95) std::copy(name.begin(), name.end(), info.begin() + 14);
  for (int i = 0; i < 4; ++i) info[110 + i] = static_cast<uint8_t>(stored->attributes >> (8 * i));
  Emit(EncodePacket(kFileInfo, info), true,
       "INFO size=" + std::to_string(stored->size) + " mjd=" + std::to_string(stored->mjd) +
           " attributes=" + std::to_string(stored->attributes));
}

void FileStore::OnOk() {
  if (phase_ == Phase::kOutgoing) {
    switch (out_.awaiting) {
      case Awaiting::kInfo:
      case Awaiting::kData:
        SendNext();
        return;
      case Awaiting::kEnd:
        Log("served \"" + out_.name + "\"");
        ++served_;
        EndTransfer();
        return;
      case Awaiting::kCancelOk:
        EndTransfer();
        return;
    }
  }
  OutOfTurn("OK");
}

void FileStore::SendNext() {
  if (out_.next >= out_.size) {
    out_.awaiting = Awaiting::kEnd;
    Emit(EncodePacket(kFileEnd), true, "END");
    return;
  }
  const size_t length = static_cast<size_t>(std::min<uint64_t>(kMaxData, out_.size - out_.next));
  std::vector<uint8_t> payload;
  payload.reserve(8 + length);
  Append64(&payload, out_.next);
  payload.resize(8 + length);
  if (pread(fd_, &payload[8], length, static_cast<off_t>(out_.next)) !=
      static_cast<ssize_t>(length)) {
    Refuse(kReasonStore, "cannot read " + out_.name);
    return;
  }
  const std::string text =
      "DATA offset=" + std::to_string(out_.next) + " length=" + std::to_string(length);
  out_.next += length;
  out_.awaiting = Awaiting::kData;
  Emit(EncodePacket(kFileData, payload), true, text);
}

}  // namespace sim::files
