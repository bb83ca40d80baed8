// Local files as the file-transfer tasks use them: an open file with explicit 64-bit
// positioning, its last-write time as local calendar fields, and its attribute word.
//
// Attribute words use the receiver's bits: read-only (0x01) when the owner cannot write the
// file, normal (0x80) when no other bit applies. Setting read-only takes every write
// permission away; setting a word without it gives the owner write permission back. Other bits
// have no meaning here and are ignored.
//
// Every operation that fails leaves the system's reason in errno, and a File's also in its
// error(). For tests that cannot make a disk full or, as root, a folder read-only,
// PENWICK_LOCAL_FILE_FAULT makes the service fail as the system would: "disk-full" fails every
// write with ENOSPC, "read-only" every create with EROFS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "penwick/platform_api.h"

namespace pw::files {

inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeSystem = 0x04;
inline constexpr uint32_t kAttributeArchive = 0x20;
inline constexpr uint32_t kAttributeNormal = 0x80;

// A moment in the local time zone, to the second.
struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

class PW_PLATFORM_API File {
 public:
  enum class Mode {
    ReadExisting,       // read; the file must exist
    ReadWriteExisting,  // read and write; the file must exist
    CreateNew,          // read and write; fails when anything of that name exists
  };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `path` for this process alone (an exclusive advisory lock: another program that
  // locks the file meanwhile is refused, and so is this open while another holds it).
  // Directories never open. False on any failure.
  bool Open(const std::string& path, Mode mode);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

  // Up to `size` bytes from the current position (fewer only at the end); nothing on an error.
  std::optional<size_t> Read(uint8_t* buffer, size_t size);
  // All `size` bytes at the current position, or false.
  bool Write(const uint8_t* data, size_t size);
  // Moves the position (from the start of the file). False when the system refuses it.
  bool Seek(uint64_t position);
  std::optional<uint64_t> Position() const;
  std::optional<uint64_t> Size() const;

  std::optional<LocalTime> LastWriteTime() const;
  // Sets the last-access and last-write times to `time` taken as local time.
  bool SetTimes(const LocalTime& time);
  std::optional<uint32_t> Attributes() const;
  bool SetAttributes(uint32_t attributes);

  // The system's error number (errno) of this file's last failed operation; 0 before any.
  int error() const { return error_; }

 private:
  bool Failed() const;  // notes errno in error_; returns false

  int fd_ = -1;
  mutable int error_ = 0;
};

// The attribute word of the file at `path`; nothing when it cannot be examined.
PW_PLATFORM_API std::optional<uint32_t> Attributes(const std::string& path);
PW_PLATFORM_API bool SetAttributes(const std::string& path, uint32_t attributes);
// Removes the file (not a directory) at `path`; false when nothing was removed.
PW_PLATFORM_API bool RemoveFile(const std::string& path);
// Puts the file `replacement` in the place of `target` in one step (a reader sees the old or
// the new file, never a mix), within one folder. `target` need not exist; when it does, the
// new file takes its attributes. False (errno set) when nothing was replaced.
PW_PLATFORM_API bool ReplaceAtomically(const std::string& replacement, const std::string& target);

}  // namespace pw::files
