// A file the host sends: the request opens it (a resumed file keeps what it has), the file
// information announces size, time and attributes, data packets must follow each other without
// gap or overlap (the first may resume anywhere within what is stored), and the end leaves a
// file of exactly the announced size with the announced time.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "PenwickHelpers.h"
#include "file_store.h"
#include "store_folder.h"

namespace sim::files {
namespace {

constexpr uint32_t kKnownAttributes = 0x01 | 0x02 | 0x04 | 0x20 | 0x80;
constexpr uint8_t kHostFileType = 2;

std::string Hms(uint8_t h, uint8_t m, uint8_t s) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", h, m, s);
  return text;
}

}  // namespace

void FileStore::StartIncoming(const std::string& name) {
  fd_ = OpenForWriting(Path(name));
  if (fd_ < 0) {
    Refuse(kReasonStore, "cannot write " + name);
    return;
  }
  phase_ = Phase::kIncoming;
  in_.name = name;
  Emit(EncodePacket(kOk), false, "OK");
}

void FileStore::OnInfo(const CommandPacket& packet) {
  const std::vector<uint8_t>& p = packet.payload;
  if (p.size() != kInfoSize) {
    Log("<- INFO of " + std::to_string(p.size()) + " bytes");
    HostFault("file information of " + std::to_string(p.size()) + " bytes", kReasonBadPacket);
    return;
  }
  Incoming& in = in_;
  const uint16_t mjd = Get16bit(p.data());
  const uint64_t size = Read64(&p[6]);
  const uint32_t attributes =
      p[110] | p[111] << 8 | p[112] << 16 | static_cast<uint32_t>(p[113]) << 24;
  const auto nameEnd = std::find(p.begin() + 14, p.begin() + 109, 0);
  Log("<- INFO size=" + std::to_string(size) + " mjd=" + std::to_string(mjd) +
      " time=" + Hms(p[2], p[3], p[4]) + " type=" + std::to_string(p[5]) + " attributes=" +
      std::to_string(attributes) + " name=\"" + std::string(p.begin() + 14, nameEnd) + "\"");
  if (phase_ != Phase::kIncoming || in.info) {
    OutOfTurn("INFO");
    return;
  }
  uint16_t year = 0;
  uint8_t month = 0, day = 0, weekday = 0;
  std::string bad;
  if (mjd != 0 && ExtractMjd(mjd, &year, &month, &day, &weekday) == 0) bad = "date";
  if (p[2] > 23 || p[3] > 59 || p[4] > 59) bad = "time of day";
  if (p[5] != kHostFileType) bad = "type";
  if (p[109] != 0) bad = "reserved byte";
  if (nameEnd == p.begin() + 109) bad = "name without its terminating zero";
  if (attributes == 0 || (attributes & ~kKnownAttributes) != 0) bad = "attributes";
  if (!bad.empty()) {
    HostFault("file information with a bad " + bad, kReasonBadField);
    return;
  }
  in.info = true;
  in.size = size;
  in.mjd = mjd;
  in.hour = p[2];
  in.minute = p[3];
  in.second = p[4];
  in.attributes = attributes;
  Emit(EncodePacket(kOk), false, "OK");
}

void FileStore::OnData(const CommandPacket& packet) {
  const std::vector<uint8_t>& p = packet.payload;
  if (p.size() < 8) {
    Log("<- DATA of " + std::to_string(p.size()) + " bytes");
    HostFault("a data packet without its offset", kReasonBadPacket);
    return;
  }
  const uint64_t offset = Read64(p.data());
  const size_t length = p.size() - 8;
  Log("<- DATA offset=" + std::to_string(offset) + " length=" + std::to_string(length));
  Incoming& in = in_;
  if (phase_ != Phase::kIncoming || !in.info) {
    OutOfTurn("DATA");
    return;
  }
  const off_t stored = lseek(fd_, 0, SEEK_END);
  std::string bad;
  if (length == 0 || length > kMaxData)
    bad = "a data packet of " + std::to_string(length) + " bytes";
  if (in.endedShort) bad = "data after a short block";
  if (in.data && offset != in.next) {
    bad = "offset " + std::to_string(offset) + " where " + std::to_string(in.next) + " was due";
  }
  if (!in.data && offset > static_cast<uint64_t>(stored)) {
    bad = "a first offset of " + std::to_string(offset) + " beyond the " + std::to_string(stored) +
          " bytes stored";
  }
  if (offset > in.size || length > in.size - offset) bad = "data beyond the announced size";
  if (!bad.empty()) {
    HostFault(bad, kReasonBadField);
    return;
  }
  // The first block decides where the file is taken up: what lies before it stays.
  if (!in.data && ftruncate(fd_, static_cast<off_t>(offset)) != 0) {
    Refuse(kReasonStore, "cannot write " + in.name);
    return;
  }
  if (pwrite(fd_, &p[8], length, static_cast<off_t>(offset)) != static_cast<ssize_t>(length)) {
    Refuse(kReasonStore, "cannot write " + in.name);
    return;
  }
  in.data = true;
  in.next = offset + length;
  in.endedShort = length < kMaxData;
  Emit(EncodePacket(kOk), false, "OK");
}

void FileStore::OnEnd() {
  Incoming& in = in_;
  if (phase_ != Phase::kIncoming || !in.info) {
    OutOfTurn("END");
    return;
  }
  // Without data the file is what was stored, cut to the announced size (a resume at the
  // very end, or an empty file).
  const off_t stored = lseek(fd_, 0, SEEK_END);
  const uint64_t end =
      in.data ? in.next : std::min<uint64_t>(in.size, static_cast<uint64_t>(stored));
  if (ftruncate(fd_, static_cast<off_t>(end)) != 0) {
    Refuse(kReasonStore, "cannot write " + in.name);
    return;
  }
  if (end != in.size) {
    HostFault("a file of " + std::to_string(end) + " bytes announced as " + std::to_string(in.size),
              kReasonBadField);
    return;
  }
  if (!Stamp(fd_, in.mjd, in.hour, in.minute, in.second, in.attributes)) {
    Refuse(kReasonStore, "cannot set the time of " + in.name);
    return;
  }
  Log("stored \"" + in.name + "\" (" + std::to_string(in.size) + " bytes)");
  ++stored_;
  EndTransfer();
  Emit(EncodePacket(kOk), false, "OK");
}

}  // namespace sim::files
