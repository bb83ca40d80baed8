// The emulated receiver's USB pieces without sockets: descriptors and their test shapes,
// control requests, the IN pipe's pairing of requests with transfers, bulk scripts and the
// reboot frame in both byte orders.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "bulk_script.h"
#include "byte_order.h"
#include "descriptors.h"
#include "device_model.h"
#include "emulated_device.h"
#include "in_pipe.h"
#include "reboot_frame.h"
#include "usbip_wire.h"

namespace sim::usbip {
namespace {

using Bytes = std::vector<uint8_t>;

// Offsets of the descriptors of a configuration set, following the length bytes (stops at a
// zero length).
std::vector<size_t> DescriptorOffsets(const Bytes& set) {
  std::vector<size_t> at;
  for (size_t i = 0; i + 1 < set.size() && set[i] != 0; i += set[i]) at.push_back(i);
  return at;
}

Bytes TypesOf(const Bytes& set) {
  Bytes types;
  for (size_t i : DescriptorOffsets(set)) types.push_back(set[i + 1]);
  return types;
}

Bytes Configuration(ConfigShape shape, uint16_t maxPacket = 512) {
  DescriptorOptions o;
  o.shape = shape;
  o.maxPacket = maxPacket;
  return ConfigurationDescriptorSet(o);
}

uint16_t TotalLength(const Bytes& set) {
  return static_cast<uint16_t>(set[2] | set[3] << 8);
}

TEST(UsbipDescriptors, StandardConfigurationIsTheReceiversInterface) {
  const Bytes set = Configuration(ConfigShape::kStandard, 64);
  EXPECT_EQ(TypesOf(set), (Bytes{2, 4, 5, 5}));
  EXPECT_EQ(TotalLength(set), set.size());
  EXPECT_EQ(set[9 + 4], 2);     // bNumEndpoints
  EXPECT_EQ(set[9 + 5], 0xFF);  // vendor-specific class
  EXPECT_EQ(Bytes(set.begin() + 18, set.end()),
            (Bytes{7, 5, 0x01, 2, 64, 0, 0, 7, 5, 0x82, 2, 64, 0, 0}));
  EXPECT_EQ(Configuration(ConfigShape::kStandard, 512)[18 + 5], 2);  // 512 = 0x0200
}

TEST(UsbipDescriptors, TestShapesHaveTheOddityTheyAreNamedFor) {
  EXPECT_EQ(TypesOf(Configuration(ConfigShape::kNoEndpoints)), (Bytes{2, 4}));
  for (const int count : {32, 33}) {
    const Bytes set =
        Configuration(count == 32 ? ConfigShape::kEndpoints32 : ConfigShape::kEndpoints33);
    EXPECT_EQ(set[9 + 4], count);
    EXPECT_EQ(TypesOf(set).size(), 2u + count);
    EXPECT_EQ(TotalLength(set), set.size());
  }
  EXPECT_EQ(TypesOf(Configuration(ConfigShape::kExtraDescriptors)),
            (Bytes{2, 0x0B, 4, 0x24, 5, 5}));
  EXPECT_EQ(TypesOf(Configuration(ConfigShape::kBetweenEndpoints)), (Bytes{2, 4, 5, 0x25, 5}));
  const Bytes two_in = Configuration(ConfigShape::kTwoIn);
  EXPECT_EQ(two_in[9 + 4], 3);
  EXPECT_EQ(two_in[32 + 2], 0x84);

  const Bytes short_set = Configuration(ConfigShape::kShort);
  EXPECT_EQ(TotalLength(short_set), short_set.size() + 16);
  const Bytes zero = Configuration(ConfigShape::kZeroLength);
  EXPECT_EQ(zero[18], 0) << "a zero length byte right after the interface";
  EXPECT_EQ(TotalLength(zero), zero.size());
  EXPECT_EQ(TotalLength(Configuration(ConfigShape::kTotalBelow18)), 9);
  EXPECT_EQ(Configuration(ConfigShape::kFirstShort)[0], 7);
}

TEST(UsbipDescriptors, ShapeNamesParseBackAndUnknownNamesAreRefused) {
  std::string names = ConfigShapeNames() + "|";
  int count = 0;
  for (size_t bar; (bar = names.find('|')) != std::string::npos; names.erase(0, bar + 1)) {
    EXPECT_TRUE(ParseConfigShape(names.substr(0, bar))) << names.substr(0, bar);
    ++count;
  }
  EXPECT_EQ(count, 11);
  EXPECT_FALSE(ParseConfigShape("Standard"));
  EXPECT_FALSE(ParseConfigShape(""));
}

TEST(UsbipDescriptors, StringsCanBeSwitchedOff) {
  DescriptorOptions o;
  o.manufacturer = "Maker \xC3\xA9";  // non-ASCII becomes '?'
  EXPECT_EQ(*StringDescriptor(o, 0), (Bytes{4, 3, 0x09, 0x04}));
  const Bytes maker = *StringDescriptor(o, 1);
  EXPECT_EQ(maker[0], maker.size());
  EXPECT_EQ(maker[2 + 2 * 6], '?');
  EXPECT_FALSE(StringDescriptor(o, 4));
  o.strings = false;
  EXPECT_FALSE(StringDescriptor(o, 1));
  const Bytes device = DeviceDescriptor(o);
  EXPECT_EQ(Bytes(device.begin() + 14, device.begin() + 17), (Bytes{0, 0, 0}));
}

ControlResult Request(DeviceModel& model, std::array<uint8_t, 8> setup) {
  return model.Control(setup, {});
}

TEST(UsbipDeviceModel, AnswersStandardRequestsAndStallsTheRest) {
  DescriptorOptions o;
  o.bcdDevice = 0x0123;
  DeviceModel model(o);
  const ControlResult head = Request(model, {0x80, 6, 0, 1, 0, 0, 8, 0});
  EXPECT_EQ(head.status, 0);
  EXPECT_EQ(head.data.size(), 8u) << "cut to wLength";
  EXPECT_EQ(Request(model, {0x80, 6, 0, 1, 0, 0, 255, 0}).data.size(), 18u);
  EXPECT_EQ(Request(model, {0x80, 6, 0, 2, 0, 0, 9, 0}).data.size(), 9u);
  EXPECT_EQ(Request(model, {0x80, 6, 0, 6, 0, 0, 10, 0}).data.size(), 10u);  // qualifier

  EXPECT_EQ(Request(model, {0x80, 6, 1, 2, 0, 0, 9, 0}).status, -32);     // configuration 1
  EXPECT_EQ(Request(model, {0x80, 6, 0, 0x0F, 0, 0, 5, 0}).status, -32);  // no BOS
  EXPECT_EQ(Request(model, {0xC0, 1, 0, 0, 0, 0, 4, 0}).status, -32);     // vendor
  EXPECT_EQ(Request(model, {0x21, 9, 0, 0, 0, 0, 0, 0}).status, -32);     // class OUT

  EXPECT_EQ(Request(model, {0x00, 9, 2, 0, 0, 0, 0, 0}).status, -32);  // no configuration 2
  EXPECT_EQ(Request(model, {0x00, 9, 1, 0, 0, 0, 0, 0}).status, 0);
  EXPECT_EQ(model.configuration(), 1);
  EXPECT_EQ(Request(model, {0x82, 0, 0, 0, 0x82, 0, 2, 0}).data, (Bytes{0, 0}));
  EXPECT_EQ(Request(model, {0x82, 0, 0, 0, 0x83, 0, 2, 0}).status, -32);
  EXPECT_EQ(Request(model, {0x02, 1, 0, 0, 0x01, 0, 0, 0}).status, 0);  // clear halt
  model.Reset();
  EXPECT_EQ(Request(model, {0x80, 8, 0, 0, 0, 0, 1, 0}).data, Bytes{0});
}

TEST(UsbipInPipe, ReadsWaitForTransfersInOrder) {
  InPipe pipe(64);
  EXPECT_TRUE(pipe.Complete().empty());
  pipe.Submit(1, 64);
  pipe.Submit(2, 64);
  EXPECT_TRUE(pipe.Complete().empty()) << "no data yet";
  pipe.Push({1, 2, 3});
  pipe.Push({});
  const auto done = pipe.Complete();
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[0].seqnum, 1u);
  EXPECT_EQ(done[0].data, (Bytes{1, 2, 3}));
  EXPECT_EQ(done[1].seqnum, 2u);
  EXPECT_TRUE(done[1].data.empty()) << "a zero-length packet";
  EXPECT_EQ(done[1].status, 0);
  pipe.Push({9});
  EXPECT_TRUE(pipe.Complete().empty());
  EXPECT_EQ(pipe.queued(), 1u) << "data waits for the next read";
}

TEST(UsbipInPipe, LongTransfersSpillIntoWholePacketReadsElseOverflow) {
  InPipe pipe(64);
  Bytes big(150);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i);
  pipe.Push(big);
  pipe.Submit(1, 128);  // two whole packets: takes 128, the rest stays
  pipe.Submit(2, 128);
  auto done = pipe.Complete();
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[0].data, Bytes(big.begin(), big.begin() + 128));
  EXPECT_EQ(done[1].data, Bytes(big.begin() + 128, big.end()));

  pipe.Push(big);
  pipe.Submit(3, 100);  // not whole packets: babble
  pipe.Submit(4, 512);
  pipe.Push({7});
  done = pipe.Complete();
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[0].status, -75);
  EXPECT_EQ(done[0].data.size(), 100u);
  EXPECT_EQ(done[1].data, Bytes{7}) << "the rest of the overflowing transfer is gone";
}

TEST(UsbipInPipe, UnlinkRemovesOnlyAPendingReadAndResetDropsEverything) {
  InPipe pipe(512);
  pipe.Submit(5, 512);
  pipe.Submit(6, 512);
  EXPECT_TRUE(pipe.Unlink(5));
  EXPECT_FALSE(pipe.Unlink(5));
  EXPECT_FALSE(pipe.Unlink(99));
  pipe.Push({1});
  auto done = pipe.Complete();
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].seqnum, 6u);
  pipe.Submit(7, 512);
  pipe.Push({2});
  pipe.Push({3});
  pipe.Reset();
  EXPECT_EQ(pipe.pending(), 0u);
  EXPECT_EQ(pipe.queued(), 0u);
}

// Records what a function does to its port.
class RecordingPort : public BulkPort {
 public:
  void SendIn(Bytes transfer) override { sent.push_back(std::move(transfer)); }
  void Reboot() override { ++reboots; }
  std::vector<Bytes> sent;
  int reboots = 0;
};

std::vector<ScriptRule> MustParse(const std::string& text) {
  std::vector<ScriptRule> rules;
  std::string error;
  EXPECT_TRUE(ParseScript(text, &rules, &error)) << error;
  return rules;
}

TEST(UsbipBulkScript, RulesAnswerWritesThatStartWithTheirBytes) {
  ScriptFunction f(
      MustParse("# the opening exchange\n"
                "\n"
                "once write \"HaVo\" 00 01 => read \"HaVo\"0002, zero\n"
                "write \"HaVo\" 00 01 => read AA\n"
                "write 0102 => silent\n"
                "write 01 => echo\n"));
  RecordingPort port;
  const Bytes opening{'H', 'a', 'V', 'o', 0, 1, 0, 0, 1, 0, 0, 0};
  f.OnOut(opening, port);
  ASSERT_EQ(port.sent.size(), 2u);
  EXPECT_EQ(port.sent[0], (Bytes{'H', 'a', 'V', 'o', 0, 2}));
  EXPECT_TRUE(port.sent[1].empty());
  f.OnOut(opening, port);  // the once rule is used up
  ASSERT_EQ(port.sent.size(), 3u);
  EXPECT_EQ(port.sent[2], Bytes{0xAA});
  f.OnOut(Bytes{1, 2, 3}, port);  // silent wins over the later echo
  f.OnOut(Bytes{9}, port);        // no rule: no answer
  EXPECT_EQ(port.sent.size(), 3u);
  f.OnOut(Bytes{1, 5}, port);
  ASSERT_EQ(port.sent.size(), 4u);
  EXPECT_EQ(port.sent[3], (Bytes{1, 5}));
  EXPECT_EQ(port.reboots, 0);
}

TEST(UsbipBulkScript, SyntaxErrorsNameTheLine) {
  const char* bad[] = {
      "write 01",               // no arrow
      "send 01 => read 02",     // not a write
      "write => read 02",       // nothing to match
      "write 0 => read 02",     // half a byte
      "write 01 => read",       // read without bytes
      "write 01 => read \"ab",  // unterminated text
      "write 01 => shout",      // unknown action
      "write 01 => zero 02",    // zero takes nothing
      "write 01 => read 02,",   // empty action
  };
  for (const char* line : bad) {
    std::vector<ScriptRule> rules;
    std::string error;
    EXPECT_FALSE(ParseScript(std::string("# ok\n") + line + "\n", &rules, &error)) << line;
    EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
  }
}

Bytes Frame(uint8_t psn, uint8_t cmd, uint8_t sum) {
  Bytes f{'H', 'a', 'V', 'o', psn, cmd, 0, 0, sum};
  f.resize(64, 0xEE);
  return f;
}

TEST(UsbipRebootFrame, MatchesCommandElevenWithItsSumInEitherByteOrder) {
  EXPECT_TRUE(IsRebootFrame(Frame(0, 11, 11), false));
  EXPECT_TRUE(IsRebootFrame(Frame(3, 11, 14), false));
  EXPECT_FALSE(IsRebootFrame(Frame(0, 11, 12), false)) << "bad sum";
  EXPECT_FALSE(IsRebootFrame(Frame(0, 6, 6), false)) << "another command";
  Bytes with_payload = Frame(0, 11, 11);
  with_payload[7] = 1;
  EXPECT_FALSE(IsRebootFrame(with_payload, false));
  const Bytes frame = Frame(0, 11, 11);
  EXPECT_FALSE(IsRebootFrame(Bytes(frame.begin(), frame.begin() + 8), false));

  // Pair-swapped as the host sends it: the sum (frame position 8) travels in the first
  // padding byte (wire position 9); wire position 8 holds whatever the host's buffer held.
  Bytes wire{'a', 'H', 'o', 'V', 11, 0, 0, 0, 0xEE, 11};
  wire.resize(64, 0xEE);
  EXPECT_TRUE(IsRebootFrame(wire, true));
  EXPECT_FALSE(IsRebootFrame(wire, false));
  EXPECT_FALSE(IsRebootFrame(frame, true));
  EXPECT_FALSE(IsRebootFrame(Bytes(wire.begin(), wire.begin() + 9), true)) << "sum missing";
}

TEST(UsbipRebootFrame, OnlyVersionsOneDotXxTravelInNaturalOrder) {
  EXPECT_TRUE(HardwareSwapsPairs(0x00FF));
  EXPECT_FALSE(HardwareSwapsPairs(0x0100));
  EXPECT_FALSE(HardwareSwapsPairs(0x01FF));
  EXPECT_TRUE(HardwareSwapsPairs(0x0200));
  EXPECT_TRUE(HardwareSwapsPairs(0xFFFF));
  EXPECT_EQ(SwapPairs(Bytes{1, 2, 3}), (Bytes{2, 1, 3}));
}

// A connection as the device sees it, without a socket.
class FakeSink : public UrbSink {
 public:
  void SendRetSubmit(uint32_t seqnum, int32_t status, std::span<const uint8_t>, uint32_t) override {
    replies.push_back({seqnum, status});
  }
  void SendRetUnlink(uint32_t seqnum, int32_t status) override {
    replies.push_back({seqnum, status});
  }
  void Drop() override { dropped = true; }
  bool PeerClosed() override { return closed; }

  std::vector<std::pair<uint32_t, int32_t>> replies;
  bool dropped = false;
  bool closed = false;
};

TEST(UsbipEmulatedDevice, ASecondImportWaitsForTheFirstClientToClose) {
  EmulatedDevice device({}, std::make_unique<ScriptFunction>(std::vector<ScriptRule>{}));
  FakeSink first;
  FakeSink second;
  ASSERT_TRUE(device.Import("1-1", &first));
  EXPECT_FALSE(device.Import("1-1", &second)) << "the first client still holds it";
  EXPECT_FALSE(first.dropped);

  UrbHeader read;
  read.seqnum = 1;
  read.direction = kDirIn;
  read.ep = 2;
  read.transferBufferLength = 64;
  device.Submit(&first, read, {});
  EXPECT_EQ(device.pendingReads(), 1u);

  // The client closed, but its connection has not been released yet: the device goes to the
  // new client, without the old client's read.
  first.closed = true;
  ASSERT_TRUE(device.Import("1-1", &second));
  EXPECT_TRUE(first.dropped);
  EXPECT_EQ(device.pendingReads(), 0u);
  device.Submit(&first, read, {});  // late requests of the old connection are ignored
  EXPECT_EQ(device.pendingReads(), 0u);
  device.Release(&first);  // the old connection's thread ends; the new one keeps the device
  read.seqnum = 2;
  device.Submit(&second, read, {});
  EXPECT_EQ(device.pendingReads(), 1u);
  EXPECT_TRUE(first.replies.empty());
}

TEST(UsbipWire, EmptyListsAndFailedImportsAreHeadersOnly) {
  EXPECT_EQ(EncodeDevlistReply({}), (Bytes{0x01, 0x11, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(EncodeImportReply(nullptr), (Bytes{0x01, 0x11, 0, 3, 0, 0, 0, 1}));
  DeviceRecord r;
  r.busid = std::string(40, 'b');  // cut so that a NUL remains
  Bytes out;
  AppendDeviceRecord(out, r);
  ASSERT_EQ(out.size(), kDeviceRecordSize);
  EXPECT_EQ(out[256 + 30], 'b');
  EXPECT_EQ(out[256 + 31], 0);
}

}  // namespace
}  // namespace sim::usbip
