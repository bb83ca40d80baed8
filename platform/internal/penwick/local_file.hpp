// Local files: an open file with explicit 64-bit positioning, its last-write time as local
// calendar fields, and its attribute word (as the file-transfer tasks use them); paths in
// folders; the first bytes of a file; and writing a whole file so that a failure keeps the old
// one (as the program saves its files).
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
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "penwick/platform_api.h"

// <windows.h> defines ReplaceFile as ReplaceFileA; without this, a file that includes it first
// would define or call pw::files::ReplaceFileA.
#ifdef ReplaceFile
#undef ReplaceFile
#endif

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

// `name` in `folder`; an empty folder is the current one.
PW_PLATFORM_API std::string PathIn(const std::string& folder, const std::string& name);
// The last part of `path`: the file's name without its folders.
PW_PLATFORM_API std::string NameOf(const std::string& path);
// The process's current folder; nothing when the system cannot say.
PW_PLATFORM_API std::optional<std::string> CurrentFolder();
// The folder that stands in for a current folder that cannot be read: "/", "C:\" on Windows.
PW_PLATFORM_API std::string FallbackFolder();
// The folder for temporary files: TMPDIR when set, else the system's.
PW_PLATFORM_API std::string TemporaryFolder();

// The first bytes of a file, read without locking it.
struct FileStart {
  int error = 0;  // why the file could not be opened (EISDIR for a folder); 0 if it was
  std::vector<uint8_t> bytes;  // up to the count asked for; none from a stream that cannot seek
  int64_t size = -1;           // the size of a regular file, else -1
};
PW_PLATFORM_API FileStart ReadFileStart(const std::string& path, size_t count);

// Writes a whole file so that a failure keeps the old one: the bytes go to a temporary file in
// the same folder (with the old file's permission bits), which is flushed, closed and renamed
// over the target. A symbolic link is followed to its target first. A target with several hard
// links, or one that is not a regular file, is written in place so it stays what it is; so is a
// file in a folder where no temporary file can be created. Empty on success, else what went
// wrong (for the operator).
PW_PLATFORM_API std::string ReplaceFile(const std::string& path,
                                        std::initializer_list<std::span<const uint8_t>> parts);
// Whether ReplaceFile could write `path`, judged without creating or changing anything: its
// folder exists and takes a new file, or the file exists and can be written in place. Empty
// when it could, else why not (for the operator).
PW_PLATFORM_API std::string CheckReplaceable(const std::string& path);

}  // namespace pw::files
