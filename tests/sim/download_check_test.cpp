// The emulated receiver's check of a received download file.
#include <PenwickHelpers.h>
#include <gtest/gtest.h>

#include "download_file.h"
#include "receiver/download_check.h"
#include "receiver/expander.h"

namespace {

using simtest::ChunkSpec;

class SimDownloadCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    images.packed = simtest::SamplePacked(1);
    images.eeprom = simtest::SampleEeprom(2);
    file = simtest::StoredDownloadFile(kId, images.packed, images.eeprom);
  }
  sim::DownloadCheck Check(const sim::ChunkExpander& expand = {}) {
    return sim::CheckDownloadFile(file, kId, images, expand);
  }
  // Rewrites chunk i's CRC after an edit, so only the edited property is wrong.
  void FixChunkCrc(size_t at) {
    const size_t following = Get16bit(&file[at]);
    Put16bit(&file[at + 2], GetCrc16(&file[at + 4], static_cast<uint32_t>(following - 2)));
  }
  size_t ChunkAt(size_t index) {
    size_t at = 10;
    for (size_t i = 0; i < index; ++i) at += 2 + Get16bit(&file[at]);
    return at;
  }

  static constexpr uint16_t kId = 0x4321;
  sim::Images images;
  std::vector<uint8_t> file;
};

TEST_F(SimDownloadCheck, AcceptsTheStoredFileOfTheExpectedImages) {
  ASSERT_EQ(file.size(), 131386u);
  sim::DownloadCheck c = Check();
  EXPECT_TRUE(c.ok) << c.reason;
  EXPECT_EQ(c.storedChunks, 6u);
  EXPECT_EQ(c.uncheckedChunks, 0u);
}

TEST_F(SimDownloadCheck, RefusesAWrongHeader) {
  EXPECT_FALSE(sim::CheckDownloadFile(file, 0x1234, images, {}).ok);  // tag is not the system id
  file[3] ^= 1;
  EXPECT_NE(Check().reason.find("header CRC"), std::string::npos);
  file[3] ^= 1;
  Put16bit(&file[8], 5);
  Put16bit(&file[2], GetCrc16(&file[4], 6));
  EXPECT_NE(Check().reason.find("chunk count 5"), std::string::npos);
}

TEST_F(SimDownloadCheck, RefusesDamagedChunks) {
  const size_t at = ChunkAt(2);
  file[at + 100] ^= 0x10;
  EXPECT_NE(Check().reason.find("chunk 3 at offset " + std::to_string(at) + ": CRC wrong"),
            std::string::npos);
  FixChunkCrc(at);  // now only the content differs
  sim::DownloadCheck c = Check();
  EXPECT_NE(c.reason.find("packed image differs at byte " + std::to_string(2 * 32762 + 92)),
            std::string::npos)
      << c.reason;
  SetUp();
  Put16bit(&file[ChunkAt(5) + 4], 2);  // the EEPROM chunk typed as flash
  FixChunkCrc(ChunkAt(5));
  EXPECT_NE(Check().reason.find("type 2, expected 3"), std::string::npos);
  SetUp();
  file[ChunkAt(5) + 8 + 255] ^= 1;
  FixChunkCrc(ChunkAt(5));
  EXPECT_NE(Check().reason.find("EEPROM image differs at byte 255"), std::string::npos);
}

TEST_F(SimDownloadCheck, RefusesWrongRawLengthsTruncationAndTrailingBytes) {
  // The flash cut differently (32000 bytes in the first chunk) is not the agreed layout.
  std::vector<ChunkSpec> chunks = {
      {2, std::vector<uint8_t>(images.packed.begin(), images.packed.begin() + 32000), {}},
      {2, std::vector<uint8_t>(images.packed.begin() + 32000, images.packed.end()), {}}};
  file = simtest::StoredStream(kId, chunks);
  EXPECT_FALSE(Check().ok);

  SetUp();
  file.push_back(0);
  EXPECT_NE(Check().reason.find("1 bytes after the last chunk"), std::string::npos);
  SetUp();
  file.resize(file.size() - 1);
  EXPECT_NE(Check().reason.find("file ends inside its data"), std::string::npos);
  file.resize(5);
  EXPECT_FALSE(Check().ok);
}

TEST_F(SimDownloadCheck, CodedChunksAreExpandedWhenAnExpanderIsGiven) {
  // The EEPROM chunk "coded" as one data byte standing for 256 copies of it.
  images.eeprom.assign(256, 0xA5);
  file = simtest::StoredDownloadFile(kId, images.packed, images.eeprom);
  file.resize(ChunkAt(5));
  std::vector<uint8_t> tail = simtest::StoredStream(kId, {{3, images.eeprom, {0xA5}}});
  file.insert(file.end(), tail.begin() + 10, tail.end());

  sim::DownloadCheck unchecked = Check();
  EXPECT_TRUE(unchecked.ok) << unchecked.reason;
  EXPECT_EQ(unchecked.uncheckedChunks, 1u);

  auto fill = [](const uint8_t* data, size_t size, uint8_t* out, size_t raw) {
    if (size != 1) return false;
    std::fill(out, out + raw, data[0]);
    return true;
  };
  sim::DownloadCheck expanded = Check(fill);
  EXPECT_TRUE(expanded.ok) << expanded.reason;
  EXPECT_EQ(expanded.codedChunks, 1u);

  images.eeprom[17] = 0;
  EXPECT_NE(Check(fill).reason.find("EEPROM image differs at byte 17"), std::string::npos);
  EXPECT_NE(Check([](const uint8_t*, size_t, uint8_t*, size_t) {
              return false;
            }).reason.find("does not expand"),
            std::string::npos);
}

TEST_F(SimDownloadCheck, CodecDecoderExpandsCodedChunksOfARealisticImage) {
  images.packed = simtest::RealisticPacked(3, kId);
  images.eeprom.assign(256, 0xFF);
  images.eeprom[0] = 0x12;
  file = simtest::CodedDownloadFile(kId, images.packed, images.eeprom);
  ASSERT_LT(file.size(), 131386u);
  sim::DownloadCheck c = Check(sim::CodecExpander());
  EXPECT_TRUE(c.ok) << c.reason;
  EXPECT_GE(c.codedChunks, 2u);
  EXPECT_EQ(c.uncheckedChunks, 0u);
  EXPECT_EQ(c.codedChunks + c.storedChunks, 6u);

  // A different image behind the same coded bytes is caught.
  images.packed[70000] ^= 1;
  EXPECT_NE(Check(sim::CodecExpander()).reason.find("packed image differs at byte 70000"),
            std::string::npos);
}

}  // namespace
