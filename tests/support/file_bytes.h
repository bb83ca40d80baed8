// Whole files as bytes, for tests that check what a transfer left on disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace testsupport {

// The file's bytes; empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);
// Replaces the file with `bytes`; false when that failed.
bool WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace testsupport
