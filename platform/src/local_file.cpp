// Local files on POSIX descriptors. Times go through the C library's local-time conversion, so
// the user's time zone (TZ) applies both ways.
#include "penwick/local_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string_view>

#include "local_file_fault.hpp"

namespace pw::files {
namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

uint32_t AttributesOf(const struct stat& st) {
  return (st.st_mode & S_IWUSR) != 0 ? kAttributeNormal : kAttributeReadOnly;
}

mode_t ModeFor(mode_t mode, uint32_t attributes) {
  mode &= 07777;
  return (attributes & kAttributeReadOnly) != 0 ? (mode & ~kWriteBits) : (mode | S_IWUSR);
}

}  // namespace

bool File::Open(const std::string& path, Mode mode) {
  Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::ReadExisting:
      flags |= O_RDONLY;
      break;
    case Mode::ReadWriteExisting:
      flags |= O_RDWR;
      break;
    case Mode::CreateNew:
      if (LocalFileFaultRequested("read-only")) {
        errno = EROFS;
        return Failed();
      }
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
  }
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return Failed();
  struct stat st {};
  int error = 0;
  if (fstat(fd, &st) != 0) {
    error = errno;
  } else if (S_ISDIR(st.st_mode)) {
    error = EISDIR;
  } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::close(fd);
    errno = error;
    return Failed();
  }
  fd_ = fd;
  return true;
}

void File::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::optional<size_t> File::Read(uint8_t* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd_, buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Failed();
      return std::nullopt;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

bool File::Write(const uint8_t* data, size_t size) {
  if (size != 0 && LocalFileFaultRequested("disk-full")) {
    errno = ENOSPC;
    return Failed();
  }
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed();
    if (n == 0) {
      errno = ENOSPC;  // nothing written and no error: no room
      return Failed();
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool File::Seek(uint64_t position) {
  if (position > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
    errno = EINVAL;
    return Failed();
  }
  return ::lseek(fd_, static_cast<off_t>(position), SEEK_SET) >= 0 || Failed();
}

std::optional<uint64_t> File::Position() const {
  const off_t at = ::lseek(fd_, 0, SEEK_CUR);
  if (at < 0) {
    Failed();
    return std::nullopt;
  }
  return static_cast<uint64_t>(at);
}

std::optional<uint64_t> File::Size() const {
  struct stat st {};
  if (fstat(fd_, &st) != 0) {
    Failed();
    return std::nullopt;
  }
  return static_cast<uint64_t>(st.st_size);
}

std::optional<LocalTime> File::LastWriteTime() const {
  struct stat st {};
  if (fstat(fd_, &st) != 0) {
    Failed();
    return std::nullopt;
  }
  std::tm tm{};
  if (localtime_r(&st.st_mtime, &tm) == nullptr) return std::nullopt;
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

bool File::SetTimes(const LocalTime& time) {
  std::tm tm{};
  tm.tm_year = time.year - 1900;
  tm.tm_mon = time.month - 1;
  tm.tm_mday = time.day;
  tm.tm_hour = time.hour;
  tm.tm_min = time.minute;
  tm.tm_sec = time.second;
  tm.tm_isdst = -1;  // whatever the zone's rule says for that day
  errno = 0;
  const std::time_t when = std::mktime(&tm);
  if (when == static_cast<std::time_t>(-1) && errno != 0) return false;
  const timespec times[2] = {{when, 0}, {when, 0}};
  return futimens(fd_, times) == 0;
}

std::optional<uint32_t> File::Attributes() const {
  struct stat st {};
  if (fstat(fd_, &st) != 0) {
    Failed();
    return std::nullopt;
  }
  return AttributesOf(st);
}

bool File::SetAttributes(uint32_t attributes) {
  struct stat st {};
  if (fstat(fd_, &st) != 0) return false;
  return fchmod(fd_, ModeFor(st.st_mode, attributes)) == 0;
}

std::optional<uint32_t> Attributes(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return AttributesOf(st);
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return ::chmod(path.c_str(), ModeFor(st.st_mode, attributes)) == 0;
}

bool RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

bool ReplaceAtomically(const std::string& replacement, const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) ::chmod(replacement.c_str(), st.st_mode & 07777);
  return std::rename(replacement.c_str(), target.c_str()) == 0;
}

}  // namespace pw::files
