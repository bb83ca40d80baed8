// Writing a whole file so that a failure keeps the old one: the bytes go to a temporary file
// in the same folder (with the old file's permission bits), which is flushed, closed and
// renamed over the target. A symbolic link is followed to its target first. A target with
// several hard links, or one that is not a regular file, is written in place so it stays what
// it is; so is a file in a folder where no temporary file can be created.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

namespace app {

// Empty on success, else what went wrong (for the operator).
std::string ReplaceFile(const std::string& path,
                        std::initializer_list<std::span<const uint8_t>> parts);

// Whether ReplaceFile could write `path`, judged without creating or changing anything: its
// folder exists and takes a new file, or the file exists and can be written in place. Empty
// when it could, else why not (for the operator).
std::string CheckReplaceable(const std::string& path);

}  // namespace app
