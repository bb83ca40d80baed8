// Writing files so that a failure keeps the old one, links stay links and permissions stay.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "penwick/local_file.hpp"

#include "controller_fixture.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;

std::span<const uint8_t> Bytes(const std::vector<uint8_t>& v) {
  return v;
}

TEST_F(ControllerTest, ReplacingKeepsLinksPermissionsAndTheOldFileOnFailure) {
  const std::vector<uint8_t> old{1, 2, 3}, fresh{4, 5, 6, 7};
  WriteAll(dir / "target", old);
  fs::permissions(dir / "target", fs::perms(0640));
  fs::create_symlink("target", dir / "link");
  EXPECT_EQ(pw::files::ReplaceFile((dir / "link").string(), {Bytes(fresh)}), "");
  EXPECT_TRUE(fs::is_symlink(dir / "link"));
  EXPECT_EQ(ReadAll(dir / "target"), fresh);
  EXPECT_EQ(fs::status(dir / "target").permissions(), fs::perms(0640));

  // Hard links stay one file.
  fs::create_hard_link(dir / "target", dir / "other");
  EXPECT_EQ(pw::files::ReplaceFile((dir / "target").string(), {Bytes(old), Bytes(fresh)}), "");
  EXPECT_EQ(ReadAll(dir / "other").size(), 7u);
  EXPECT_EQ(fs::hard_link_count(dir / "target"), 2u);

  // A write that fails (the file size limit) keeps the old file and leaves no temporary.
  fs::remove(dir / "other");
  struct sigaction ignore {
  }, before{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &before);
  rlimit limit{}, saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  limit = saved;
  limit.rlim_cur = 4;
  setrlimit(RLIMIT_FSIZE, &limit);
  const std::string error =
      pw::files::ReplaceFile((dir / "target").string(), {Bytes(std::vector<uint8_t>(100, 9))});
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &before, nullptr);
  EXPECT_NE(error, "");
  EXPECT_EQ(ReadAll(dir / "target").size(), 7u);
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 2u);  // target and link
}

}  // namespace
}  // namespace apptest
