// Scratch folders without mkdtemp (which the Windows C runtime lacks).
#include "temp_folder.h"

#include <random>
#include <system_error>

namespace testsupport {

std::filesystem::path MakeTempFolder(const std::string& prefix) {
  std::error_code ec;
  const auto base = std::filesystem::temp_directory_path(ec);
  if (ec) return {};
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto folder = base / (prefix + std::to_string(random() % 1000000000));
    // create_directory is false, without an error, when the name is taken.
    if (std::filesystem::create_directory(folder, ec)) return folder;
    if (ec) return {};
  }
  return {};
}

std::optional<std::string> FileThatCannotBeRead() {
#ifdef _WIN32
  return std::nullopt;
#else
  return "/proc/self/mem";
#endif
}

}  // namespace testsupport
