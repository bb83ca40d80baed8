// What File does alike on every system: ownership of its descriptor, the error it notes, and
// the faults tests ask for.
#include <cerrno>
#include <cstdlib>

#include "local_file_fault.hpp"
#include "penwick/local_file.hpp"

namespace pw::files {

bool LocalFileFaultRequested(std::string_view name) {
  const char* fault = std::getenv("PENWICK_LOCAL_FILE_FAULT");
  return fault != nullptr && name == fault;
}

File::~File() {
  Close();
}

File::File(File&& other) noexcept : fd_(other.fd_), error_(other.error_) {
  other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    error_ = other.error_;
    other.fd_ = -1;
  }
  return *this;
}

bool File::Failed() const {
  error_ = errno;
  return false;
}

}  // namespace pw::files
