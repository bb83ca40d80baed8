// Replays a fuzz target's corpus as an ordinary test, so that an input that once crashed stays a
// test: every file of CORPUS goes through the entry point (a crash or a sanitizer report fails
// the run), then every file of REFUSE must be refused by the parser.
//   replay_<target> CORPUS [REFUSE]
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_target.h"

// Targets that are no parser (a round trip) define no verdict.
bool FuzzInputRefused(const uint8_t* data, size_t size) __attribute__((weak));

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> FilesIn(const char* folder) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s CORPUS [REFUSE]\n", argv[0]);
    return 2;
  }
  const auto corpus = FilesIn(argv[1]);
  if (corpus.empty()) {
    std::fprintf(stderr, "no inputs in %s\n", argv[1]);
    return 1;
  }
  for (const auto& path : corpus) {
    const auto bytes = ReadAll(path);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("%zu corpus inputs replayed\n", corpus.size());
  if (argc < 3) return 0;

  const auto refuse = FilesIn(argv[2]);
  if (refuse.empty() || FuzzInputRefused == nullptr) {
    std::fprintf(stderr, "no must-refuse inputs in %s, or no verdict in this target\n", argv[2]);
    return 1;
  }
  int accepted = 0;
  for (const auto& path : refuse) {
    const auto bytes = ReadAll(path);
    if (!FuzzInputRefused(bytes.data(), bytes.size())) {
      std::fprintf(stderr, "accepted, but must be refused: %s\n", path.c_str());
      ++accepted;
    }
  }
  std::printf("%zu must-refuse inputs, %d accepted\n", refuse.size(), accepted);
  return accepted == 0 ? 0 : 1;
}
