// The decoder against an independent -lh5- encoder: Debian's jlha archiver (a black box) packs
// pieces of a settings region into an .lzh archive; each -lh5- entry's raw data, wrapped as a
// coded chunk of a packed stream, must expand to the original piece.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "lh5_test_writer.h"
#include "lzh_reader.h"
#include "sample_region.h"
#include "unpack.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(Lh5CrossCheck, ExpandsStreamsOfAnIndependentEncoder) {
  if (std::system("command -v jlha >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "jlha (Debian package jlha-utils) is not installed";
  char pattern[] = "/tmp/lh5crossXXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path dir = pattern;

  // Pieces of at most one chunk (32762 bytes): the whole region in chunk-sized pieces, a
  // piece of incompressible bytes between text, and a short one.
  std::map<std::string, std::vector<uint8_t>> pieces;
  const auto region = samples::MakeSampleRegion(21);
  for (size_t at = 0, n = 0; at + 32762 <= region.size(); at += 32762, ++n)
    pieces["r" + std::to_string(n) + ".bin"] =
        std::vector<uint8_t>(region.begin() + static_cast<ptrdiff_t>(at),
                             region.begin() + static_cast<ptrdiff_t>(at + 32762));
  std::vector<uint8_t> mixed;
  for (int i = 0; i < 400; ++i) {
    const std::string line = "channel " + std::to_string(i * 37 % 1000) + " = Sport One\n";
    mixed.insert(mixed.end(), line.begin(), line.end());
  }
  const auto noise = samples::RandomBytes(3000, 4);
  mixed.insert(mixed.begin() + 5000, noise.begin(), noise.end());
  pieces["mixed.bin"] = mixed;
  pieces["short.bin"] =
      std::vector<uint8_t>(region.begin() + 2 * 8192, region.begin() + 2 * 8192 + 700);

  std::string names;
  for (const auto& [name, bytes] : pieces) {
    WriteFile(dir / name, bytes);
    names += " " + name;
  }
  const std::string command =
      "cd '" + dir.string() + "' && jlha ao5q pieces.lzh" + names + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  const auto entries = lh5test::ParseLzh(ReadFile(dir / "pieces.lzh"));
  size_t checked = 0;
  for (const lh5test::LzhEntry& e : entries) {
    SCOPED_TRACE(e.name);
    ASSERT_TRUE(pieces.count(e.name));
    const std::vector<uint8_t>& original = pieces[e.name];
    ASSERT_EQ(e.originalSize, original.size());
    if (e.method != "-lh5-" || e.data.size() >= original.size()) continue;  // stored by jlha
    const auto stream = lh5test::MakeStream({{static_cast<uint16_t>(original.size()), e.data}});
    std::vector<uint8_t> out(original.size() + 1, 0xA5);
    EXPECT_EQ(codec::UnpackHvp(stream.data(), stream.size(), out.data(), original.size()),
              original.size());
    EXPECT_TRUE(std::equal(original.begin(), original.end(), out.begin()));
    EXPECT_EQ(out.back(), 0xA5);
    ++checked;
  }
  EXPECT_GE(checked, pieces.size() - 1) << "too few -lh5- entries in the archive";
  fs::remove_all(dir);
}
