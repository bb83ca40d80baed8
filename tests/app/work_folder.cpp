#include "work_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace apptest {

WorkFolder::WorkFolder(const std::string& prefix) : previous_(std::filesystem::current_path()) {
  path_ = std::filesystem::temp_directory_path() /
          (prefix + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
  std::filesystem::current_path(path_);
}

WorkFolder::~WorkFolder() {
  std::filesystem::current_path(previous_);
  std::filesystem::remove_all(path_);
}

}  // namespace apptest
