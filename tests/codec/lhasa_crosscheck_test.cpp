// The compressor against an independent decoder: Debian's lhasa (called as `lhasa`, since
// `lha` may be another archiver through Debian's alternatives; a black box) extracts our coded
// chunks wrapped as -lh5- members of a level-0 .lzh archive and checks each member's CRC-16; the
// extracted bytes must equal the input.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "PenwickHelpers.h"
#include "lh5_encoder.h"
#include "pack.h"
#include "sample_region.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct Member {
  std::string name;
  Bytes raw;
  Bytes coded;
};

void PutLe(Bytes& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Level-0 header: size, checksum, method, packed and original size, DOS time, attribute,
// level, name, CRC-16 of the original.
Bytes MakeArchive(const std::vector<Member>& members) {
  Bytes archive;
  for (const Member& m : members) {
    Bytes h;
    h.push_back(static_cast<uint8_t>(22 + m.name.size()));
    h.push_back(0);
    h.insert(h.end(), {'-', 'l', 'h', '5', '-'});
    PutLe(h, static_cast<uint32_t>(m.coded.size()), 4);
    PutLe(h, static_cast<uint32_t>(m.raw.size()), 4);
    PutLe(h, 0x5A210000, 4);  // 2025-01-01 00:00
    h.push_back(0x20);
    h.push_back(0);
    h.push_back(static_cast<uint8_t>(m.name.size()));
    h.insert(h.end(), m.name.begin(), m.name.end());
    PutLe(h, GetCrc16(m.raw.data(), static_cast<uint32_t>(m.raw.size())), 2);
    unsigned sum = 0;
    for (size_t i = 2; i < h.size(); ++i) sum += h[i];
    h[1] = static_cast<uint8_t>(sum);
    archive.insert(archive.end(), h.begin(), h.end());
    archive.insert(archive.end(), m.coded.begin(), m.coded.end());
  }
  archive.push_back(0);
  return archive;
}

bool HaveLha() {
  return std::system("command -v lhasa >/dev/null 2>&1") == 0;
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class LhasaCrossCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveLha()) GTEST_SKIP() << "lhasa (Debian package lhasa) is not installed";
    std::string pattern = (fs::temp_directory_path() / "penwick-lha-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern;
  }
  void TearDown() override {
    if (!folder.empty()) fs::remove_all(folder);
  }

  // Codes `raw` as one chunk (with room to spare, so that even random data is coded).
  void Add(const std::string& name, Bytes raw) {
    auto encoder = std::make_unique<codec::Lh5Encoder>();
    Bytes coded(raw.size() * 2 + 64);
    const size_t d = encoder->CompressChunk(raw.data(), raw.size(), coded.data(), coded.size());
    ASSERT_GT(d, 0u) << name;
    coded.resize(d);
    members.push_back({name, std::move(raw), std::move(coded)});
  }

  void ExtractAndCompare() {
    const fs::path archive = folder / "streams.lzh";
    {
      const Bytes bytes = MakeArchive(members);
      std::ofstream(archive, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()));
    }
    const fs::path out = folder / "out";
    fs::create_directory(out);
    const std::string command =
        "cd '" + out.string() + "' && lhasa xqf '" + archive.string() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const Member& m : members) {
      EXPECT_TRUE(ReadFile(out / m.name) == m.raw) << m.name << " differs after lhasa";
    }
  }

  fs::path folder;
  std::vector<Member> members;
};

}  // namespace

TEST_F(LhasaCrossCheck, CodedChunksExtract) {
  const Bytes region = samples::MakeSampleRegion(12);
  for (size_t at = 0; at + 32762 <= region.size(); at += 32762 * 3) {
    Add("region" + std::to_string(at), Bytes(region.begin() + static_cast<ptrdiff_t>(at),
                                             region.begin() + static_cast<ptrdiff_t>(at + 32762)));
  }
  for (size_t block : {0, 4, 8, 26, 30, 47}) {
    Add("block" + std::to_string(block),
        Bytes(region.begin() + static_cast<ptrdiff_t>(block * 8192),
              region.begin() + static_cast<ptrdiff_t>(block * 8192 + 8192)));
  }
  Add("zeros", Bytes(8192, 0));
  Add("repeated", Bytes(32762, 0x5A));
  Add("three", Bytes(3, 'A'));  // one symbol coded with zero bits
  Add("one", Bytes(1, 0x80));
  Add("noise", samples::RandomBytes(32762, 21));  // several coded blocks
  Bytes text;
  while (text.size() < 30000) {
    const std::string line = "channel " + std::to_string(text.size() % 977) + " name\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  Add("text", text);
  ExtractAndCompare();
}

TEST_F(LhasaCrossCheck, StreamsOfAPackedImageExtract) {
  const Bytes region = samples::MakePackableSampleRegion(13);
  const Bytes identity = samples::MakeIdentity(0x0102);
  Bytes container(131072);
  ASSERT_EQ(codec::PackFlashData(identity.data(), region.data(), container.data()), 1);
  for (size_t i = 0; i < 48; ++i) {
    const uint8_t* d = container.data() + 64 + 64 * i;
    const uint8_t* stream = container.data() + Get32bit(d + 4);
    const size_t coded = Get16bit(stream + 10) - 6u;  // the one chunk
    Member m{"b" + std::to_string(i),
             Bytes(region.begin() + static_cast<ptrdiff_t>(i * 8192),
                   region.begin() + static_cast<ptrdiff_t>(i * 8192 + 8192)),
             Bytes(stream + 18, stream + 18 + coded)};
    ASSERT_LT(coded, 8192u);
    members.push_back(std::move(m));
  }
  ExtractAndCompare();
}
