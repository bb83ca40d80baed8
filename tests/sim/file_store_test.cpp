// The emulated receiver's file store on its own: names that would leave its folder, and the
// host's faults it must not let pass.
#include "file_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "PenwickHelpers.h"

namespace sim::files {
namespace {

using Bytes = std::vector<uint8_t>;

class Port final : public usbip::BulkPort {
 public:
  void SendIn(std::vector<uint8_t> transfer) override { sent.push_back(std::move(transfer)); }
  void Reboot() override {}
  std::vector<Bytes> sent;
};

// A packet as the host writes it: whole 64-byte packets.
Bytes Wire(uint32_t command, const Bytes& payload) {
  Bytes wire = EncodePacket(command, payload);
  wire.resize((wire.size() + 63) / 64 * 64, 0xAA);
  return wire;
}

Bytes Request(uint8_t direction, const std::string& name) {
  const bool send = direction == 0;
  Bytes p{direction, 0, static_cast<uint8_t>(name.size() + (send ? 1 : 0))};
  p.insert(p.end(), name.begin(), name.end());
  if (send) p.push_back(0);
  return p;
}

TEST(FileStore, RefusesNamesOutsideItsFolderAndReportsTheHostsFaults) {
  char pattern[] = "/tmp/penwick-store-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  std::filesystem::create_directory(dir / "store");
  FileStoreOptions options;
  options.folder = (dir / "store").string();
  options.resend = std::chrono::milliseconds(0);
  FileStore store(options, 0x0200, 64);
  std::string error;
  ASSERT_TRUE(store.Open(&error)) << error;
  Port port;
  const Bytes refusedName = EncodePacket(kFail, Bytes{0, 0, 0, kReasonBadName});

  store.OnOut(Wire(kFileRequest, Request(0, "../outside")), port);
  store.OnOut(Wire(kFileRequest, Request(1, "..")), port);
  ASSERT_EQ(port.sent.size(), 2u);
  EXPECT_EQ(port.sent[0], refusedName);
  EXPECT_EQ(port.sent[1], refusedName);
  EXPECT_FALSE(std::filesystem::exists(dir / "outside"));

  // A first block beyond what the store holds would leave a hole.
  store.OnOut(Wire(kFileRequest, Request(0, "file.bin")), port);
  Bytes info(kInfoSize, 0);
  info[13] = 10;  // size
  info[5] = 2;
  info[110] = 0x80;
  store.OnOut(Wire(kFileInfo, info), port);
  store.OnOut(Wire(kFileData, {0, 0, 0, 0, 0, 0, 0, 5, 1, 2, 3}), port);
  ASSERT_EQ(port.sent.size(), 5u);
  EXPECT_EQ(port.sent[4], EncodePacket(kFail, Bytes{0, 0, 0, kReasonBadField}));
  // A packet whose transfer is not its length in whole packets is damaged.
  store.OnOut(EncodePacket(kOk), port);
  EXPECT_EQ(port.sent.back(), EncodePacket(kFail, Bytes{0, 0, 0, kReasonBadPacket}));
  bool ok = true;
  EXPECT_EQ(store.Finish(&ok), "SIM FAIL a first offset of 5 beyond the 0 bytes stored");
  EXPECT_FALSE(ok);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace sim::files
