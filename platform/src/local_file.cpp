// Local files on POSIX descriptors. Times go through the C library's local-time conversion, so
// the user's time zone (TZ) applies both ways. Paths use "/" between folders.
#include "penwick/local_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

constexpr int kMaxLinkHops = 40;

std::string Describe(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of symbolic links ends at (which need not exist yet).
std::optional<std::string> FollowLinks(std::string path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0) return std::nullopt;
    target.resize(static_cast<size_t>(length));
    path = (target.empty() || target[0] == '/') ? target : FolderOf(path) + "/" + target;
  }
  errno = ELOOP;
  return std::nullopt;
}

bool WriteAll(int fd, std::initializer_list<std::span<const uint8_t>> parts) {
  for (const auto part : parts) {
    size_t done = 0;
    while (done < part.size()) {
      const ssize_t written = write(fd, part.data() + done, part.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      done += static_cast<size_t>(written);
    }
  }
  return true;
}

std::string WriteInPlace(const std::string& path,
                         std::initializer_list<std::span<const uint8_t>> parts) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return Describe("cannot create " + path, errno);
  const bool written = WriteAll(fd, parts);
  const int writeError = errno;
  if (close(fd) != 0 && written) return Describe("cannot write " + path, errno);
  return written ? std::string() : Describe("cannot write " + path, writeError);
}

// A new file beside `target`, created with `mode` (before the umask); -1 when none can be.
int CreateTemporary(const std::string& target, mode_t mode, std::string* name) {
  static std::atomic<unsigned> counter{0};
  const std::string folder = FolderOf(target);
  const std::string base = target.substr(target.rfind('/') + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name =
        folder + "/." + base + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    const int fd = open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
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

std::string PathIn(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

std::optional<std::string> CurrentFolder() {
  char path[PATH_MAX];
  if (getcwd(path, sizeof path) == nullptr) return std::nullopt;
  return std::string(path);
}

std::string FallbackFolder() {
  return "/";
}

std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

FileStart ReadFileStart(const std::string& path, size_t count) {
  FileStart start;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    start.error = errno;
    return start;
  }
  struct stat st {};
  const bool known = fstat(fd, &st) == 0;
  // A folder opens for reading, but it is not a file to read.
  if (known && S_ISDIR(st.st_mode)) {
    ::close(fd);
    start.error = EISDIR;
    return start;
  }
  if (known && S_ISREG(st.st_mode)) start.size = st.st_size;
  start.bytes.resize(count);
  size_t done = 0;
  if (::lseek(fd, 0, SEEK_SET) == 0) {
    while (done < count) {
      const ssize_t n = ::read(fd, start.bytes.data() + done, count - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
  start.bytes.resize(done);
  ::close(fd);
  return start;
}

std::string ReplaceFile(const std::string& path,
                        std::initializer_list<std::span<const uint8_t>> parts) {
  const auto target = FollowLinks(path);
  if (!target) return Describe("cannot follow " + path, errno);
  struct stat info {};
  const bool exists = stat(target->c_str(), &info) == 0;
  if (exists && (!S_ISREG(info.st_mode) || info.st_nlink > 1)) return WriteInPlace(*target, parts);

  std::string temporary;
  const int fd = CreateTemporary(*target, exists ? (info.st_mode & 07777) : 0666, &temporary);
  if (fd < 0) return WriteInPlace(*target, parts);
  // The umask may have narrowed the old file's bits; they are kept exactly.
  if (exists) fchmod(fd, info.st_mode & 07777);
  bool ok = WriteAll(fd, parts) && fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temporary.c_str(), target->c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (ok) return {};
  unlink(temporary.c_str());
  return Describe("cannot write " + *target, error);
}

std::string CheckReplaceable(const std::string& path) {
  const auto target = FollowLinks(path);
  if (!target) return Describe("cannot follow " + path, errno);
  struct stat info {};
  if (stat(target->c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return path + " is a folder, not a file";
    if (access(target->c_str(), W_OK) == 0) return {};
  }
  const std::string folder = FolderOf(*target);
  struct stat folderInfo {};
  if (stat(folder.c_str(), &folderInfo) != 0) {
    return Describe("the folder " + folder + " of " + path + " cannot be used", errno);
  }
  if (!S_ISDIR(folderInfo.st_mode)) return "the folder " + folder + " of " + path + " is a file";
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    return Describe("cannot create " + path + " in " + folder, errno);
  }
  return {};
}

bool ReplaceAtomically(const std::string& replacement, const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) ::chmod(replacement.c_str(), st.st_mode & 07777);
  return std::rename(replacement.c_str(), target.c_str()) == 0;
}

}  // namespace pw::files
