// Scratch folders and special files for tests that run on Linux and, cross-built, on Windows.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

// A new, empty folder in the system's temporary folder whose name starts with `prefix`; an
// empty path when none could be made.
std::filesystem::path MakeTempFolder(const std::string& prefix);

// A file that opens for reading but whose first read fails, where the system has one
// (/proc/self/mem on Linux); none on Windows.
std::optional<std::string> FileThatCannotBeRead();

}  // namespace testsupport
