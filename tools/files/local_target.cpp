// The temporary file of a receive: its name beside LOCAL, and a receive that ends unfinished.
// Each system's file (local_target_commit.cpp, win32/) puts the temporary in LOCAL's place or
// restores a failed resume.
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "local_target.h"

namespace penwick_files {

LocalTarget::LocalTarget(std::string local, bool resume)
    : local_(std::move(local)), resume_(resume) {
  if (resume_) {
    noted_ = ::stat(local_.c_str(), &before_) == 0;
    return;
  }
  // A printable name of this process's own beside LOCAL, so the file task never falls back
  // to another name and the replace stays within the folder.
  const size_t slash = local_.find_last_of(kPathSeparators);
  const std::string folder = slash == std::string::npos ? "" : local_.substr(0, slash + 1);
  temporary_ = folder + ".penwick-files-" + std::to_string(::getpid()) + ".part";
}

LocalTarget::~LocalTarget() {
  if (open_) Abandon();
}

}  // namespace penwick_files
