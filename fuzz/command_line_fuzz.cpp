// Arbitrary command lines (one argument per line of the input) through the program's parser.
// An accepted line runs a serial download only on a port named COMn, reads its port number
// from the whole text after the first three characters, and reads the same again when its
// values are written back in the attached and in the separated form.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_target.h"
#include "program_options.h"

namespace {

std::vector<std::string> Arguments(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    args.push_back(text.substr(start, end - start));
  }
  args.push_back(text.substr(start));
  return args;
}

bool Same(const app::CommandLine& a, const app::CommandLine& b) {
  return a.file == b.file && a.port == b.port && a.posX == b.posX && a.posY == b.posY;
}

// Whether `number` is what the C library reads from the whole text after the first three
// characters (a number beyond an int saturates); a text of three characters or fewer says 0.
bool ReadsWhole(const std::string& port, int number) {
  if (port.size() <= 3) return number == 0;
  const char* tail = port.c_str() + 3;
  if (std::isspace(static_cast<unsigned char>(*tail))) return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(tail, &end, 10);
  if (end == tail || *end != '\0') return false;
  return errno == ERANGE || value > INT_MAX || value < INT_MIN || value == number;
}

bool NamesComPort(const std::string& port) {
  const auto upper = [&port](size_t i) {
    return std::toupper(static_cast<unsigned char>(port[i]));
  };
  return port.size() > 3 && upper(0) == 'C' && upper(1) == 'O' && upper(2) == 'M' &&
         std::isdigit(static_cast<unsigned char>(port[3]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const app::ProgramOptions options = app::ParseProgramOptions(Arguments(data, size));
  if (!options.error.empty()) return 0;
  const app::CommandLine& line = options.line;
  const app::RunSelection run = app::SelectRun(line.port);
  if (line.port.size() > 99 || !ReadsWhole(line.port, run.number)) std::abort();
  if (run.mode == app::RunMode::SerialDownload && !NamesComPort(line.port)) std::abort();
  // Written back: values that are empty or begin with "--" have no separated form.
  const std::string x = std::to_string(line.posX), y = std::to_string(line.posY);
  if (line.file.empty() || line.port.empty()) return 0;
  const app::CommandLine attached =
      app::ParseCommandLine({"-f" + line.file, "-p" + line.port, "-x" + x, "-y" + y});
  if (!Same(attached, line)) std::abort();
  if (line.file.rfind("--", 0) == 0 || line.port.rfind("--", 0) == 0) return 0;
  const app::CommandLine separated =
      app::ParseCommandLine({"-f", line.file, "-p", line.port, "-x", x, "-y", y});
  if (!Same(separated, line)) std::abort();
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  return !app::ParseProgramOptions(Arguments(data, size)).error.empty();
}
