// Commit and restore on Windows: the temporary replaces LOCAL through the platform's atomic
// replace (a rename does not replace an existing file here), and a failed resume gives LOCAL
// back its read-only state and times through the C runtime.
#include <sys/stat.h>
#include <sys/utime.h>

#include <cerrno>

#include "local_target.h"
#include "penwick/local_file.hpp"

namespace penwick_files {

const char* const kPathSeparators = "/\\";

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
