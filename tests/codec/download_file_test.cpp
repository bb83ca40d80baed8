// The download file: its layout and contents, and that a failure leaves no file behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "PenwickHelpers.h"
#include "codec_hooks.h"
#include "download_file.h"
#include "lh5_decoder.h"
#include "packed_stream.h"
#include "receiver/download_check.h"
#include "receiver/expander.h"
#include "sample_region.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::string> g_notices;

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class DownloadFile : public ::testing::Test {
 protected:
  void SetUp() override {
    g_notices.clear();
    codec::SetNoticeHook([](const char* text) { g_notices.emplace_back(text); });
    std::string pattern = (fs::temp_directory_path() / "penwick-dl-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    path = folder / "~tmpDown.hvd";
    // A packed image with coded and stored parts, and an EEPROM image.
    packed = samples::MakePackableSampleRegion(3);
    packed.resize(131072);
    const Bytes noise = samples::RandomBytes(40000, 8);
    std::copy(noise.begin(), noise.end(), packed.begin() + 70000);
    for (size_t i = 0; i < eeprom.size(); ++i) eeprom[i] = static_cast<uint8_t>(i * 7);
  }
  void TearDown() override {
    codec::FailPackWorkAllocationForTest(false);
    codec::SetNoticeHook(nullptr);
    fs::remove_all(folder);
  }

  size_t FilesInFolder() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
  }

  fs::path folder;
  fs::path path;
  Bytes packed;
  Bytes eeprom = Bytes(256);
};

}  // namespace

TEST_F(DownloadFile, LayoutAndContents) {
  ASSERT_TRUE(codec::WriteDownloadFile(0xABCD, packed.data(), eeprom.data(), path.string()));
  EXPECT_TRUE(g_notices.empty());
  const Bytes file = ReadFile(path);
  ASSERT_GE(file.size(), 10u);
  ASSERT_LE(file.size(), 131386u);
  EXPECT_EQ(Get16bit(&file[0]), 8);
  EXPECT_EQ(Get16bit(&file[2]), GetCrc16(&file[4], 6));
  EXPECT_EQ(Get16bit(&file[4]), 0xABCD);
  EXPECT_EQ(Get16bit(&file[6]), 1);
  EXPECT_EQ(Get16bit(&file[8]), 6);

  const uint16_t types[6] = {2, 2, 2, 2, 2, 3};
  const uint16_t raws[6] = {32762, 32762, 32762, 32762, 24, 256};
  Bytes flash, rom;
  bool someCoded = false, someStored = false;
  size_t at = 10;
  codec::Lh5Decoder decoder;
  for (int c = 0; c < 6; ++c) {
    ASSERT_LE(at + 8, file.size());
    const size_t d = Get16bit(&file[at]) - 6u;
    ASSERT_LE(at + 8 + d, file.size());
    EXPECT_EQ(Get16bit(&file[at + 2]), GetCrc16(&file[at + 4], static_cast<uint32_t>(4 + d)));
    EXPECT_EQ(Get16bit(&file[at + 4]), types[c]) << "chunk " << c;
    const size_t raw = Get16bit(&file[at + 6]);
    EXPECT_EQ(raw, raws[c]) << "chunk " << c;
    (d == raw ? someStored : someCoded) = true;
    Bytes out(raw);
    ASSERT_TRUE(decoder.ExpandChunk(out.data(), raw, &file[at + 8], d));
    Bytes& section = c < 5 ? flash : rom;
    section.insert(section.end(), out.begin(), out.end());
    at += 8 + d;
  }
  EXPECT_EQ(at, file.size());
  EXPECT_TRUE(someCoded && someStored);
  EXPECT_TRUE(flash == packed);
  EXPECT_EQ(rom, eeprom);
}

TEST_F(DownloadFile, TheEmulatedReceiverAcceptsIt) {
  ASSERT_TRUE(codec::WriteDownloadFile(0x0B21, packed.data(), eeprom.data(), path.string()));
  const sim::DownloadCheck check =
      sim::CheckDownloadFile(ReadFile(path), 0x0B21, {packed, eeprom}, sim::CodecExpander());
  EXPECT_TRUE(check.ok) << check.reason;
  EXPECT_GT(check.codedChunks, 0u);
  EXPECT_EQ(check.storedChunks + check.codedChunks, 6u);
  EXPECT_FALSE(sim::CheckDownloadFile(ReadFile(path), 0x0B22, {packed, eeprom}, {}).ok);
}

TEST_F(DownloadFile, ReplacesAnOlderFile) {
  { std::ofstream(path) << "an older, much shorter file"; }
  ASSERT_TRUE(codec::WriteDownloadFile(0x0001, packed.data(), eeprom.data(), path.string()));
  const Bytes file = ReadFile(path);
  EXPECT_EQ(Get16bit(&file[4]), 0x0001);
  EXPECT_GT(file.size(), 1000u);
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(DownloadFile, MissingFolderIsACreatingError) {
  const std::string missing = (folder / "no-such-folder" / "~tmpDown.hvd").string();
  EXPECT_FALSE(codec::WriteDownloadFile(0x0001, packed.data(), eeprom.data(), missing));
  ASSERT_EQ(g_notices.size(), 1u);
  EXPECT_EQ(g_notices[0], "\"" + missing + "\": Creating error \r\n");
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_EQ(FilesInFolder(), 0u);
}

TEST_F(DownloadFile, PathNamingAFolderIsACreatingError) {
  fs::create_directory(path);
  EXPECT_FALSE(codec::WriteDownloadFile(0x0001, packed.data(), eeprom.data(), path.string()));
  EXPECT_EQ(g_notices, std::vector<std::string>{"\"" + path.string() + "\": Creating error \r\n"});
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(DownloadFile, FailedWriteLeavesNoFileAndKeepsTheOlderOne) {
  // A file size limit makes the writes fail the way a full disk does (EFBIG instead of ENOSPC).
  { std::ofstream(path) << "older"; }
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool ok = codec::WriteDownloadFile(0x0001, packed.data(), eeprom.data(), path.string());
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadFile(path), Bytes({'o', 'l', 'd', 'e', 'r'}));
  EXPECT_EQ(FilesInFolder(), 1u);  // no partial file beside it
  EXPECT_TRUE(g_notices.empty());
}

TEST_F(DownloadFile, NoMemoryIsAFailureWithItsNotice) {
  codec::FailPackWorkAllocationForTest(true);
  EXPECT_FALSE(codec::WriteDownloadFile(0x0001, packed.data(), eeprom.data(), path.string()));
  EXPECT_EQ(g_notices, std::vector<std::string>{"DLL : Insufficient memory"});
  EXPECT_EQ(FilesInFolder(), 0u);
}
