// The run's log file: created (truncated) at every start, its first line "Executed " with the
// local date and time in the user's locale format, then the lines start-up writes, each ended
// with "\r\n".
#pragma once

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

namespace app {

inline constexpr char kLogFileName[] = "Upload.Log";

// Date and time in the locale's formats ("%x %X").
std::string LocalDateTime(std::time_t when);

class UploadLog {
 public:
  // Creates the file and writes its first line; false (with errno set) when it cannot be
  // created.
  bool Open(const std::string& path, std::time_t now);
  // Appends `text` and "\r\n" (nothing when the log is not open).
  void Line(const std::string& text);
  void Close();

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace app
