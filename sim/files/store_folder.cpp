// Stored files on POSIX calls; local time through the C library, so TZ applies.
#include "store_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "PenwickHelpers.h"

namespace sim::files {

bool AcceptableName(std::string_view name) {
  return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::optional<StoredFile> Describe(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  StoredFile file;
  file.size = static_cast<uint64_t>(st.st_size);
  std::tm tm{};
  if (localtime_r(&st.st_mtime, &tm) != nullptr) {
    file.mjd = MakeMjd(static_cast<uint16_t>(tm.tm_year + 1900),
                       static_cast<uint8_t>(tm.tm_mon + 1), static_cast<uint8_t>(tm.tm_mday));
    file.hour = static_cast<uint8_t>(tm.tm_hour);
    file.minute = static_cast<uint8_t>(tm.tm_min);
    file.second = static_cast<uint8_t>(tm.tm_sec);
  }
  file.attributes = (st.st_mode & S_IWUSR) != 0 ? kAttributeNormal : kAttributeReadOnly;
  return file;
}

bool Stamp(int fd, uint16_t mjd, uint8_t hour, uint8_t minute, uint8_t second,
           uint32_t attributes) {
  uint16_t year = 0;
  uint8_t month = 0, day = 0, weekday = 0;
  if (mjd != 0 && ExtractMjd(mjd, &year, &month, &day, &weekday) != 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t when = std::mktime(&tm);
    const timespec times[2] = {{when, 0}, {when, 0}};
    if (futimens(fd, times) != 0) return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) return false;
  const mode_t mode = st.st_mode & 07777;
  const mode_t wanted = (attributes & kAttributeReadOnly) != 0
                            ? (mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH))
                            : (mode | S_IWUSR);
  return fchmod(fd, wanted) == 0;
}

int OpenForWriting(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0) {
    chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
  }
  return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

}  // namespace sim::files
