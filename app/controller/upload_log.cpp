#include "upload_log.h"

namespace app {

std::string LocalDateTime(std::time_t when) {
  // std::localtime is portable; its result is copied at once, and the program's other threads
  // (the libraries' workers) never call it.
  const std::tm* converted = std::localtime(&when);
  if (converted == nullptr) return {};
  const std::tm local = *converted;
  char text[128];
  const size_t length = std::strftime(text, sizeof text, "%x %X", &local);
  return std::string(text, length);
}

bool UploadLog::Open(const std::string& path, std::time_t now) {
  file_.reset(std::fopen(path.c_str(), "wb"));
  if (!file_) return false;
  Line("Executed " + LocalDateTime(now));
  return true;
}

void UploadLog::Line(const std::string& text) {
  if (!file_) return;
  std::fputs(text.c_str(), file_.get());
  std::fputs("\r\n", file_.get());
}

void UploadLog::Close() {
  file_.reset();
}

}  // namespace app
