// The temporary file of a receive and the restore of a failed resume, on Windows: the
// temporary replaces LOCAL through the platform's atomic replace (a rename does not replace an
// existing file here), and a failed resume gives LOCAL back its read-only state and times
// through the C runtime.
#include <process.h>
#include <sys/utime.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "local_target.h"
#include "penwick/local_file.hpp"

namespace penwick_files {

LocalTarget::LocalTarget(std::string local, bool resume)
    : local_(std::move(local)), resume_(resume) {
  if (resume_) {
    noted_ = ::stat(local_.c_str(), &before_) == 0;
    return;
  }
  // A name of this process's own beside LOCAL, so the file task never falls back to another
  // name and the replace stays within the folder.
  const size_t slash = local_.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "" : local_.substr(0, slash + 1);
  temporary_ = folder + ".penwick-files-" + std::to_string(::_getpid()) + ".part";
}

LocalTarget::~LocalTarget() {
  if (open_) Abandon();
}

bool LocalTarget::Commit() {
  open_ = false;
  if (resume_) return true;
  if (pw::files::ReplaceAtomically(temporary_, local_)) return true;
  const int error = errno;
  pw::files::RemoveFile(temporary_);
  errno = error;
  return false;
}

void LocalTarget::Abandon() {
  open_ = false;
  if (!resume_) {
    pw::files::RemoveFile(temporary_);
    return;
  }
  if (!noted_) return;
  ::_chmod(local_.c_str(), before_.st_mode & (_S_IREAD | _S_IWRITE));
  _utimbuf times{before_.st_atime, before_.st_mtime};
  ::_utime(local_.c_str(), &times);
}

}  // namespace penwick_files
