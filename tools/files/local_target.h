// Where a receive writes, so that a failure never costs the user a file: a plain receive goes
// into a temporary file beside LOCAL that replaces LOCAL only once the whole file arrived; a
// resume grows LOCAL itself and, when it fails, keeps what arrived but gives LOCAL back the
// times and permissions it had.
#pragma once

#include <sys/stat.h>

#include <string>

namespace penwick_files {

// What separates a folder from a name in LOCAL on this system.
extern const char* const kPathSeparators;

class LocalTarget {
 public:
  // `resume`: LOCAL is grown in place (it must exist).
  LocalTarget(std::string local, bool resume);
  ~LocalTarget();  // abandons a receive that was neither committed nor abandoned
  LocalTarget(const LocalTarget&) = delete;
  LocalTarget& operator=(const LocalTarget&) = delete;

  // The path the file task writes.
  const std::string& path() const { return resume_ ? local_ : temporary_; }
  bool resume() const { return resume_; }
  // After a successful receive: the temporary replaces LOCAL. False (errno set) when it
  // cannot; the temporary is removed then.
  bool Commit();
  // After a failed or cancelled receive: the temporary goes, or LOCAL gets its times and
  // permissions back.
  void Abandon();

 private:
  std::string local_;
  std::string temporary_;
  bool resume_;
  bool noted_ = false;  // `before_` holds LOCAL's state from before the resume
  bool open_ = true;    // neither committed nor abandoned yet
  struct stat before_ {};
};

}  // namespace penwick_files
