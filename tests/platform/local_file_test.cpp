// The atomic replace of a local file: the new file takes the old one's place and permissions,
// and a replace that cannot happen changes nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "file_bytes.h"
#include "penwick/local_file.hpp"

namespace {

namespace fs = std::filesystem;

TEST(LocalFileReplace, TakesThePlaceAndPermissionsOfTheOldFile) {
  const fs::path folder =
      fs::temp_directory_path() / ("penwick-replace-" + std::to_string(getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  const std::string target = (folder / "settings.hvd").string();
  const std::string next = (folder / "settings.new").string();
  ASSERT_TRUE(testsupport::WriteFileBytes(target, {1, 1}));
  ASSERT_TRUE(testsupport::WriteFileBytes(next, {2, 2, 2}));
  ASSERT_EQ(chmod(target.c_str(), 0440), 0);

  ASSERT_TRUE(pw::files::ReplaceAtomically(next, target));
  EXPECT_EQ(testsupport::ReadFileBytes(target), std::vector<uint8_t>({2, 2, 2}));
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0440u);
  EXPECT_FALSE(fs::exists(next));

  // Nothing to put in place: false, the old file stays as it was.
  EXPECT_FALSE(pw::files::ReplaceAtomically(next, target));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(testsupport::ReadFileBytes(target), std::vector<uint8_t>({2, 2, 2}));
  fs::remove_all(folder);
}

}  // namespace
