// Packing and writing the download file at the same time on two threads: each call has its
// own compressor, so both give what they give alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "download_file.h"
#include "pack.h"
#include "sample_region.h"
#include "temp_folder.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(PackThreads, PackAndDownloadFileRunTogether) {
  const fs::path folder = testsupport::MakeTempFolder("penwick-thr-");
  ASSERT_FALSE(folder.empty());
  const Bytes identity = samples::MakeIdentity(0x0202);
  const Bytes region = samples::MakePackableSampleRegion(31);
  Bytes packed = samples::MakePackableSampleRegion(32);
  packed.resize(131072);
  const Bytes eeprom = samples::RandomBytes(256, 33);

  Bytes expectImage(131072);
  ASSERT_EQ(codec::PackFlashData(identity.data(), region.data(), expectImage.data()), 1);
  ASSERT_TRUE(codec::WriteDownloadFile(0x0202, packed.data(), eeprom.data(),
                                       (folder / "alone.hvd").string()));
  const Bytes expectFile = ReadFile(folder / "alone.hvd");

  constexpr int kRounds = 3;
  std::vector<Bytes> images(kRounds, Bytes(131072));
  int packed_ok = 0;
  std::thread packer([&] {
    for (auto& image : images) {
      packed_ok += codec::PackFlashData(identity.data(), region.data(), image.data());
    }
  });
  int written = 0;
  for (int i = 0; i < kRounds; ++i) {
    written += codec::WriteDownloadFile(0x0202, packed.data(), eeprom.data(),
                                        (folder / ("f" + std::to_string(i))).string());
  }
  packer.join();
  EXPECT_EQ(packed_ok, kRounds);
  EXPECT_EQ(written, kRounds);
  for (const auto& image : images) EXPECT_TRUE(image == expectImage);
  for (int i = 0; i < kRounds; ++i) {
    EXPECT_TRUE(ReadFile(folder / ("f" + std::to_string(i))) == expectFile);
  }
  fs::remove_all(folder);
}
