// File record, file information and file request in their packet forms.
#include "file_payloads.h"

#include <cstring>

#include "PenwickHelpers.h"

namespace hvusb {
namespace {

// The date a rejected MJD stands for.
constexpr pw::files::LocalTime kFallbackDay{2003, 1, 1, 0, 0, 0};

}  // namespace

void Put64(uint8_t* p, uint64_t value) {
  Put32bit(p, static_cast<uint32_t>(value >> 32));
  Put32bit(p + 4, static_cast<uint32_t>(value));
}

uint64_t Get64(const uint8_t* p) {
  return static_cast<uint64_t>(Get32bit(p)) << 32 | Get32bit(p + 4);
}

std::string BaseName(const std::string& path) {
  if (path.size() < 2) return path;
  const size_t slash = path.find_last_of('/', path.size() - 2);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void SetRecordName(FileRecord* record, const std::string& path) {
  record->name.fill(0);
  const std::string name = BaseName(path);
  if (name.size() < kNameField) std::memcpy(record->name.data(), name.data(), name.size());
}

bool DescribeFile(const pw::files::File& file, FileRecord* record) {
  const auto size = file.Size();
  const auto time = file.LastWriteTime();
  const auto attributes = file.Attributes();
  if (!size || !time || !attributes) return false;
  record->size = *size;
  record->date = MakeMjd(static_cast<uint16_t>(time->year), static_cast<uint8_t>(time->month),
                         static_cast<uint8_t>(time->day));
  record->hour = static_cast<uint8_t>(time->hour);
  record->minute = static_cast<uint8_t>(time->minute);
  record->second = static_cast<uint8_t>(time->second);
  record->type = kFileTypeHost;
  record->reserved = 0;
  record->attributes = *attributes;
  return true;
}

pw::files::LocalTime RecordTime(const FileRecord& record) {
  pw::files::LocalTime time = kFallbackDay;
  uint16_t year = 0;
  uint8_t month = 0, day = 0, weekday = 0;
  if (ExtractMjd(record.date, &year, &month, &day, &weekday) != 0) {
    time.year = year;
    time.month = month;
    time.day = day;
  }
  time.hour = record.hour;
  time.minute = record.minute;
  time.second = record.second;
  return time;
}

void EncodeFileInfo(const FileRecord& record, uint8_t* info) {
  std::memset(info, 0, 114);
  Put16bit(info, record.date);
  info[2] = record.hour;
  info[3] = record.minute;
  info[4] = record.second;
  info[5] = record.type;
  Put64(info + 6, record.size);
  std::memcpy(info + 14, record.name.data(), kNameField - 1);  // the last byte stays zero
  info[109] = record.reserved;
  for (int i = 0; i < 4; ++i) info[110 + i] = static_cast<uint8_t>(record.attributes >> (8 * i));
}

FileRecord DecodeFileInfo(const uint8_t* info) {
  FileRecord record;
  record.date = Get16bit(info);
  record.hour = info[2];
  record.minute = info[3];
  record.second = info[4];
  record.type = info[5];
  record.size = Get64(info + 6);
  record.reserved = info[109];
  record.attributes = static_cast<uint32_t>(info[110]) | static_cast<uint32_t>(info[111]) << 8 |
                      static_cast<uint32_t>(info[112]) << 16 |
                      static_cast<uint32_t>(info[113]) << 24;
  return record;
}

uint32_t RequestLength(bool receive, size_t nameLength, bool withPosition) {
  const size_t length = 3 + nameLength + (receive ? (withPosition ? 8 : 0) : 1);
  return length > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(length);
}

uint32_t EncodeRequest(uint8_t* payload, bool receive, const std::string& name, uint64_t position) {
  const size_t n = name.size();
  payload[0] = receive ? 1 : 0;
  Put16bit(payload + 1, static_cast<uint16_t>(receive ? n : n + 1));
  std::memcpy(payload + 3, name.data(), n);
  if (!receive) {
    payload[3 + n] = 0;
  } else if (position != 0) {
    Put64(payload + 3 + n, position);
  }
  return RequestLength(receive, n, receive && position != 0);
}

}  // namespace hvusb
