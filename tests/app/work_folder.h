// A fresh folder per test that is the current folder while the test runs (the program writes
// its log and its files there), removed afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace apptest {

class WorkFolder {
 public:
  explicit WorkFolder(const std::string& prefix);
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

}  // namespace apptest
