// The payloads of the file tasks' packets: the file record and its 114-byte file information,
// the file request, and the local file's time in the record's MJD form.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "penwick/local_file.hpp"

namespace hvusb {

inline constexpr uint8_t kFileTypeHost = 2;  // the type of every file the host describes
inline constexpr size_t kNameField = 95;

struct FileRecord {
  uint16_t date = 0;  // MJD, local time; 0 when unknown
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint8_t type = kFileTypeHost;
  uint64_t size = 0;
  std::array<uint8_t, kNameField> name{};  // zero-terminated base name, all zero when too long
  uint8_t reserved = 0;
  uint32_t attributes = 0;
};

// The text after the last '/' that has text after it; the whole path when there is none.
std::string BaseName(const std::string& path);

// Puts the base name of `path` into the record, or leaves it all zero when it has 95
// characters or more.
void SetRecordName(FileRecord* record, const std::string& path);

// Size, last-write time (local) and attributes of an open file. False when any of them
// cannot be had.
bool DescribeFile(const pw::files::File& file, FileRecord* record);

// The record's date and time of day as local time; a date the MJD conversion rejects is
// 1 January 2003.
pw::files::LocalTime RecordTime(const FileRecord& record);

// The 114-byte file information (big-endian fields, the attributes little-endian).
void EncodeFileInfo(const FileRecord& record, uint8_t* info);
// The fields of a received file information; its name is not used.
FileRecord DecodeFileInfo(const uint8_t* info);

// Payload length of a file request for a receiver-side name of `nameLength` characters:
// a send carries the name with its terminating zero, a receive without it and, when a start
// position is set, the position.
uint32_t RequestLength(bool receive, size_t nameLength, bool withPosition);
// Writes the request into `payload` (RequestLength bytes); returns its length.
uint32_t EncodeRequest(uint8_t* payload, bool receive, const std::string& name, uint64_t position);

// Big-endian 64-bit value as high and low 32-bit words.
void Put64(uint8_t* p, uint64_t value);
uint64_t Get64(const uint8_t* p);

}  // namespace hvusb
