// The folder behind the file store: which names it accepts, what it tells about a stored file
// (size, modification time as MJD and time of day in local time, attributes), and giving a
// received file its time and attributes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim::files {

inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeNormal = 0x80;

struct StoredFile {
  uint64_t size = 0;
  uint16_t mjd = 0;  // 0 when the date is outside what an MJD field can say
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint32_t attributes = kAttributeNormal;
};

// A plain file name: 1 to 255 bytes, no '/', no zero byte, not "." or "..".
bool AcceptableName(std::string_view name);

// The regular file at `path`; nothing when there is none.
std::optional<StoredFile> Describe(const std::string& path);

// Sets the modification (and access) time of the open file `fd` from an MJD date and time of
// day taken as local time (date 0: the time is left as it is), then its attributes: read-only
// takes every write permission away.
bool Stamp(int fd, uint16_t mjd, uint8_t hour, uint8_t minute, uint8_t second, uint32_t attributes);

// Opens `path` for writing without truncating it (a resumed file keeps its start), creating it
// when missing; a read-only stored file is made writable first. -1 on failure.
int OpenForWriting(const std::string& path);

}  // namespace sim::files
