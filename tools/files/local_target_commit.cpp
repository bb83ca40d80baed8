// Commit and restore on POSIX: a rename replaces LOCAL in one step, and a failed resume gets
// its permissions and times back.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "local_target.h"

namespace penwick_files {

const char* const kPathSeparators = "/";

bool LocalTarget::Commit() {
  open_ = false;
  if (resume_) return true;
  if (std::rename(temporary_.c_str(), local_.c_str()) == 0) return true;
  const int error = errno;
  ::unlink(temporary_.c_str());
  errno = error;
  return false;
}

void LocalTarget::Abandon() {
  open_ = false;
  if (!resume_) {
    ::unlink(temporary_.c_str());
    return;
  }
  if (!noted_) return;
  ::chmod(local_.c_str(), before_.st_mode & 07777);
  const timespec times[2] = {before_.st_atim, before_.st_mtim};
  ::utimensat(AT_FDCWD, local_.c_str(), times, 0);
}

}  // namespace penwick_files
