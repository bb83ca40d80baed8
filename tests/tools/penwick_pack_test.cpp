// penwick-pack's info and transfer on sound and damaged files, its refusals, and the help and
// version of the tools that have no receiver to talk to.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "child_process.h"
#include "file_bytes.h"
#include "penwick/console_kit/exit_codes.hpp"

namespace {

namespace fs = std::filesystem;
using namespace pw::cli;
using namespace std::chrono_literals;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

struct ToolRun {
  int status = -1;
  std::string output;  // stdout and stderr
  bool Says(const std::string& text) const { return output.find(text) != std::string::npos; }
};

ToolRun Tool(const char* path, const std::vector<std::string>& args) {
  std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", path};
  argv.insert(argv.end(), args.begin(), args.end());
  pwtest::ChildProcess child;
  ToolRun run;
  if (!child.Start(argv)) {
    ADD_FAILURE() << path << " did not start";
    return run;
  }
  for (std::string line; !(line = child.ReadLine(60s)).empty();) run.output += line;
  run.status = child.WaitExit(10s).value_or(-1);
  return run;
}

class PenwickPack : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/penwick-pack-tool-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    ASSERT_EQ(Pack({"sample", At("region.upk"), "3"}).status, kExitOk);
    ASSERT_EQ(Pack({"pack", At("region.upk"), At("image.pak"), "0x1234"}).status, kExitOk);
    WriteFileBytes(dir / "eeprom.bin", std::vector<uint8_t>(256, 0x5A));
    // A stream's first byte changed: the image still has its size and model id.
    auto damaged = ReadFileBytes(dir / "image.pak");
    damaged[6144 + 20] ^= 0xFF;
    WriteFileBytes(dir / "damaged.pak", damaged);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string At(const char* name) const { return (dir / name).string(); }
  ToolRun Pack(const std::vector<std::string>& args) { return Tool(PENWICK_PACK_PATH, args); }

  fs::path dir;
};

TEST_F(PenwickPack, InfoOnEachKindOfFileAndADamagedOne) {
  ASSERT_EQ(Pack({"transfer", At("image.pak"), At("eeprom.bin"), At("transfer.dat")}).status,
            kExitOk);
  auto saved = ReadFileBytes(dir / "image.pak");
  saved.resize(131072 + 256, 0x5A);
  WriteFileBytes(dir / "saved.dat", saved);
  const struct {
    const char* file;
    const char* kind;
    bool eeprom;
  } kinds[] = {{"transfer.dat", "transfer file, 131392 bytes", true},
               {"saved.dat", "saved upload, 131328 bytes", true},
               {"image.pak", "packed image, 131072 bytes", false}};
  for (const auto& k : kinds) {
    const ToolRun info = Pack({"info", At(k.file)});
    EXPECT_EQ(info.status, kExitOk) << info.output;
    EXPECT_TRUE(info.Says(At(k.file) + ": " + k.kind)) << info.output;
    EXPECT_TRUE(info.Says("system id:    0x1234 (4660)"));
    EXPECT_TRUE(info.Says("model id:     00 00 00 B9 00 12 34 00")) << info.output;
    EXPECT_TRUE(info.Says("packed image: 131072 bytes, 48 blocks, "));
    EXPECT_EQ(info.Says("EEPROM image: 256 bytes"), k.eeprom);
    EXPECT_TRUE(info.Says("unpacks:      yes"));
  }
  const ToolRun damaged = Pack({"info", At("damaged.pak"), "--json"});
  EXPECT_EQ(damaged.status, kExitBadTransferFile);
  EXPECT_TRUE(damaged.Says("\"kind\":\"packed-image\",\"systemId\":4660,")) << damaged.output;
  EXPECT_TRUE(
      damaged.Says("\"unpacks\":false,\"reason\":\"block 0 fails its check\","
                   "\"exitCode\":4}"));
  // A wrong check byte is named; a size of no image file and a missing file are damaged too.
  auto badId = ReadFileBytes(dir / "image.pak");
  badId[3] = 0;
  WriteFileBytes(dir / "bad-id.pak", badId);
  const ToolRun id = Pack({"info", At("bad-id.pak")});
  EXPECT_EQ(id.status, kExitBadTransferFile);
  EXPECT_TRUE(id.Says("unpacks:      no, the model id's check byte is 0x00, not 0xB9"));
  EXPECT_EQ(Pack({"info", At("region.upk")}).status, kExitBadTransferFile);
  EXPECT_EQ(Pack({"info", At("missing")}).status, kExitBadTransferFile);
}

TEST_F(PenwickPack, TransferRefusesADamagedImageAndBadValuesAreNamed) {
  const ToolRun refused = Pack({"transfer", At("damaged.pak"), At("eeprom.bin"), At("out.dat")});
  EXPECT_EQ(refused.status, kExitBadTransferFile);
  EXPECT_TRUE(refused.Says("the packed image of " + At("damaged.pak") +
                           " does not unpack: block 0 fails its check"));
  EXPECT_FALSE(fs::exists(dir / "out.dat"));

  const ToolRun id = Pack({"pack", At("region.upk"), At("x.pak"), "70000"});
  EXPECT_EQ(id.status, kExitUsage);
  EXPECT_TRUE(id.Says("SYSTEM_ID '70000' is not a number from 0 to 65535"));
  const ToolRun seed = Pack({"sample", At("x.upk"), "-1"});
  EXPECT_EQ(seed.status, kExitUsage);
  EXPECT_TRUE(seed.Says("SEED '-1' is not a number from 0 to 4294967295"));
  const ToolRun missing = Pack({"unpack", At("missing.pak"), At("x.upk")});
  EXPECT_EQ(missing.status, kExitBadTransferFile);
  EXPECT_TRUE(missing.Says("cannot open " + At("missing.pak")));
}

TEST(ToolHelp, PackAndSimDescribeThemselves) {
  for (const char* tool : {PENWICK_PACK_PATH, PENWICK_SIM_PATH}) {
    SCOPED_TRACE(tool);
    const ToolRun help = Tool(tool, {"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_TRUE(help.Says("Exit status:\n   0  "));
    EXPECT_TRUE(help.Says("\n   2  bad command line\n"));
    const ToolRun version = Tool(tool, {"--version"});
    EXPECT_EQ(version.status, kExitOk);
    EXPECT_TRUE(version.Says(fs::path(tool).filename().string() + " "));
  }
  EXPECT_TRUE(Tool(PENWICK_PACK_PATH, {"--help"}).Says("  info      says what FILE is"));
  EXPECT_TRUE(Tool(PENWICK_SIM_PATH, {"--help"}).Says("  usb       the receiver on USB"));
}

}  // namespace
