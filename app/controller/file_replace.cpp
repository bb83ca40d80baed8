#include "file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>

namespace app {
namespace {

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

}  // namespace app
