// The Win32 local files: local file times, the attribute word, no sharing, and the atomic
// replace, on the system's own file API.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "penwick/local_file.hpp"

namespace {

namespace fs = std::filesystem;
using pw::files::File;

// The attribute word without the archive bit, which the system sets on every file it writes
// (and some file systems report on every file).
uint32_t AttributesOf(const std::string& path) {
  return pw::files::Attributes(path).value_or(0xFFFFFFFF) & ~pw::files::kAttributeArchive;
}

class Win32Files : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("penwick-files-" + std::to_string(::_getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    for (const auto& entry : fs::directory_iterator(folder_))
      pw::files::SetAttributes(entry.path().string(), pw::files::kAttributeNormal);
    fs::remove_all(folder_);
  }
  std::string Path(const char* name) const { return (folder_ / name).string(); }

  fs::path folder_;
};

TEST_F(Win32Files, TimesAttributesAndSharing) {
  const std::string path = Path("a.bin");
  File file;
  ASSERT_TRUE(file.Open(path, File::Mode::CreateNew));
  const std::vector<uint8_t> bytes = {1, 2, 3, 0, 255};
  ASSERT_TRUE(file.Write(bytes.data(), bytes.size()));
  EXPECT_EQ(file.Size(), 5u);
  ASSERT_TRUE(file.Seek(1));
  uint8_t back[8] = {};
  EXPECT_EQ(file.Read(back, sizeof back), 4u);  // short only at the end
  EXPECT_EQ(back[3], 255);

  // Local time in, the same local time out: a winter and a summer date, so a daylight-saving
  // bias applied one way only shows.
  for (const pw::files::LocalTime t : {pw::files::LocalTime{2021, 1, 31, 23, 59, 58},
                                       pw::files::LocalTime{2020, 7, 4, 12, 30, 2}}) {
    ASSERT_TRUE(file.SetTimes(t));
    const auto got = file.LastWriteTime();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(
        std::vector<int>({got->year, got->month, got->day, got->hour, got->minute, got->second}),
        std::vector<int>({t.year, t.month, t.day, t.hour, t.minute, t.second}));
  }

  // Opened without sharing: nobody else opens it meanwhile, this program included.
  File second;
  EXPECT_FALSE(second.Open(path, File::Mode::ReadExisting));
  EXPECT_EQ(second.error(), EWOULDBLOCK);
  EXPECT_FALSE(second.Open(path, File::Mode::CreateNew));
  EXPECT_EQ(second.error(), EEXIST);

  // The attribute word is the file's own.
  EXPECT_EQ(file.Attributes().value_or(0) & pw::files::kAttributeReadOnly, 0u);
  ASSERT_TRUE(file.SetAttributes(pw::files::kAttributeReadOnly | pw::files::kAttributeHidden));
  file.Close();
  EXPECT_EQ(AttributesOf(path), pw::files::kAttributeReadOnly | pw::files::kAttributeHidden);
  EXPECT_FALSE(second.Open(path, File::Mode::ReadWriteExisting));
  EXPECT_EQ(second.error(), EACCES);
  EXPECT_TRUE(second.Open(path, File::Mode::ReadExisting));
  second.Close();
  ASSERT_TRUE(pw::files::SetAttributes(path, pw::files::kAttributeNormal));
  EXPECT_EQ(AttributesOf(path) & pw::files::kAttributeReadOnly, 0u);
  EXPECT_TRUE(second.Open(path, File::Mode::ReadWriteExisting));
  second.Close();

  // A folder never opens as a file.
  EXPECT_FALSE(second.Open(folder_.string(), File::Mode::ReadExisting));
  EXPECT_EQ(second.error(), EISDIR);
  EXPECT_TRUE(pw::files::RemoveFile(path));
  EXPECT_FALSE(pw::files::RemoveFile(path));
}

TEST_F(Win32Files, ReplaceKeepsTheOldFilesAttributesAndLeavesNoTrace) {
  const std::string target = Path("settings.hvd");
  const std::string next = Path("settings.new");
  ASSERT_TRUE(testsupport::WriteFileBytes(target, {1, 1}));
  ASSERT_TRUE(testsupport::WriteFileBytes(next, {2, 2, 2}));
  ASSERT_TRUE(pw::files::SetAttributes(target, pw::files::kAttributeHidden));

  ASSERT_TRUE(pw::files::ReplaceAtomically(next, target));
  EXPECT_EQ(testsupport::ReadFileBytes(target), std::vector<uint8_t>({2, 2, 2}));
  EXPECT_EQ(AttributesOf(target), pw::files::kAttributeHidden);
  EXPECT_FALSE(fs::exists(next));

  // No old file: the new one simply takes the name. A missing replacement changes nothing.
  const std::string fresh = Path("fresh.hvd");
  ASSERT_TRUE(testsupport::WriteFileBytes(next, {3}));
  ASSERT_TRUE(pw::files::ReplaceAtomically(next, fresh));
  EXPECT_EQ(testsupport::ReadFileBytes(fresh), std::vector<uint8_t>({3}));
  EXPECT_FALSE(pw::files::ReplaceAtomically(next, target));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(testsupport::ReadFileBytes(target), std::vector<uint8_t>({2, 2, 2}));
}

}  // namespace
