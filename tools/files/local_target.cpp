// The temporary file of a receive and the restore of a failed resume.
#include "local_target.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace penwick_files {

LocalTarget::LocalTarget(std::string local, bool resume)
    : local_(std::move(local)), resume_(resume) {
  if (resume_) {
    noted_ = ::stat(local_.c_str(), &before_) == 0;
    return;
  }
  // A printable name of this process's own beside LOCAL, so the file task never falls back
  // to another name and a rename within the folder replaces LOCAL in one step.
  const size_t slash = local_.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : local_.substr(0, slash + 1);
  temporary_ = folder + ".penwick-files-" + std::to_string(::getpid()) + ".part";
}

LocalTarget::~LocalTarget() {
  if (open_) Abandon();
}

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
