// The emulated receiver's USB/IP server over loopback, driven by a test-side client: device
// list, import, descriptors, bulk pipes, unlink and reboot.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "bulk_script.h"
#include "emulated_device.h"
#include "usbip_server.h"
#include "usbip_test_client.h"

namespace sim::usbip {
namespace {

using test::Client;
using test::DeviceCount;
using test::RequestDevlist;
using Bytes = std::vector<uint8_t>;

std::vector<ScriptRule> Rules(std::initializer_list<const char*> lines) {
  std::vector<ScriptRule> rules;
  for (const char* line : lines) {
    std::string error;
    auto rule = ParseScriptLine(line, &error);
    EXPECT_TRUE(rule) << line << ": " << error;
    if (rule) rules.push_back(std::move(*rule));
  }
  return rules;
}

// Collects trace lines from the server's threads.
class Trace {
 public:
  void Add(const std::string& line) {
    std::lock_guard lock(mu_);
    text_ += line + "\n";
  }
  std::string Text() {
    std::lock_guard lock(mu_);
    return text_;
  }

 private:
  std::mutex mu_;
  std::string text_;
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Polls the device list until it shows `count` devices or 20 s pass.
bool WaitForDeviceCount(uint16_t port, uint32_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (DeviceCount(RequestDevlist(port)) == count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class UsbipServerTest : public ::testing::Test {
 protected:
  void Start(DeviceSettings settings, std::vector<ScriptRule> rules = {}) {
    server_.reset();
    device_ = std::make_unique<EmulatedDevice>(std::move(settings),
                                               std::make_unique<ScriptFunction>(std::move(rules)));
    server_ = std::make_unique<UsbipServer>(*device_);
    std::string error;
    ASSERT_TRUE(server_->Start("127.0.0.1", 0, &error)) << error;
    ASSERT_NE(server_->port(), 0);
  }
  uint16_t port() const { return server_->port(); }

  std::unique_ptr<EmulatedDevice> device_;
  std::unique_ptr<UsbipServer> server_;
};

TEST_F(UsbipServerTest, DevlistDescribesTheDeviceWithItsInterfaceRecord) {
  DeviceSettings s;
  s.descriptors.idVendor = 0x1234;
  s.descriptors.idProduct = 0x5678;
  s.descriptors.bcdDevice = 0x0203;
  Start(s);
  const Bytes list = RequestDevlist(port());
  ASSERT_EQ(list.size(), 12u + 312 + 4);
  EXPECT_EQ(Bytes(list.begin(), list.begin() + 8), (Bytes{0x01, 0x11, 0, 5, 0, 0, 0, 0}));
  EXPECT_EQ(DeviceCount(list), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&list[0x10C])), "1-1");
  EXPECT_EQ(list[0x12F], 1);  // busnum
  EXPECT_EQ(list[0x137], 3);  // high speed
  EXPECT_EQ(Bytes(&list[0x138], &list[0x13E]), (Bytes{0x12, 0x34, 0x56, 0x78, 0x02, 0x03}));
  EXPECT_EQ(list[0x143], 1);  // bNumInterfaces
  EXPECT_EQ(Bytes(&list[0x144], &list[0x148]), (Bytes{0xFF, 0, 0, 0}));
}

TEST_F(UsbipServerTest, ImportGivesTheRecordAndRefusesUnknownOrBusyDevices) {
  Start({});
  Client unknown;
  EXPECT_FALSE(unknown.Import(port(), "2-1"));
  ASSERT_EQ(unknown.import_reply().size(), 8u);
  EXPECT_EQ(unknown.import_reply()[7], 1);  // status 1, no record

  Client first;
  ASSERT_TRUE(first.Import(port()));
  ASSERT_EQ(first.import_reply().size(), 320u);
  EXPECT_EQ(first.import_reply()[0x134], 0x12);  // idVendor 0x1209, big-endian
  EXPECT_EQ(first.import_reply()[0x135], 0x09);
  Client second;
  EXPECT_FALSE(second.Import(port()));
  EXPECT_EQ(DeviceCount(RequestDevlist(port())), 1u) << "an imported device stays listed";
}

TEST_F(UsbipServerTest, EachImportStartsWithoutTheReadsOfEarlierClients) {
  Start({}, Rules({"write * => echo"}));
  for (int i = 0; i < 20; ++i) {  // the host opens, closes and imports again at once
    Client c;
    ASSERT_TRUE(c.Import(port())) << "round " << i;
    c.Submit(1, 2, 64);  // left pending when the client goes
  }
  Client last;
  ASSERT_TRUE(last.Import(port()));
  const auto read = last.Submit(1, 2, 64);
  last.Submit(0, 1, 2, Bytes{7, 8});
  auto written = last.Receive();
  auto answer = last.Receive();
  ASSERT_TRUE(written && answer);
  EXPECT_EQ(answer->seqnum, read) << "no read of an earlier client takes the data";
  EXPECT_EQ(answer->data, (Bytes{7, 8}));
}

TEST_F(UsbipServerTest, ControlRequestsAnswerDescriptorsAndStallUnknownOnes) {
  DeviceSettings s;
  s.descriptors.bcdDevice = 0x0101;
  s.descriptors.maxPacket = 64;
  Start(s);
  Client c;
  ASSERT_TRUE(c.Import(port()));
  auto device = c.GetDescriptor(1, 0, 18);
  ASSERT_TRUE(device);
  ASSERT_EQ(device->data.size(), 18u);
  EXPECT_EQ(device->data[12], 0x01);  // bcdDevice, little-endian
  EXPECT_EQ(device->data[13], 0x01);
  EXPECT_EQ(device->data[14], 1);  // iManufacturer

  auto head = c.GetDescriptor(2, 0, 9);
  ASSERT_TRUE(head);
  ASSERT_EQ(head->data.size(), 9u);
  const uint16_t total = static_cast<uint16_t>(head->data[2] | head->data[3] << 8);
  EXPECT_EQ(total, 9 + 9 + 7 + 7);
  auto config = c.GetDescriptor(2, 0, 255);  // more than exists: a shorter answer
  ASSERT_TRUE(config);
  ASSERT_EQ(config->actual, total);
  EXPECT_EQ(config->data[18 + 2], 0x01);  // first endpoint 0x01 OUT
  EXPECT_EQ(config->data[18 + 4], 64);
  EXPECT_EQ(config->data[25 + 2], 0x82);  // then 0x82 IN

  auto product = c.GetDescriptor(3, 2, 255);
  ASSERT_TRUE(product);
  EXPECT_EQ(product->data[2], 'E');

  auto missing = c.GetDescriptor(3, 9, 255);
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, -32);
  EXPECT_EQ(missing->actual, 0u);

  const auto set = c.Control(0x00, 9, 1, 0, 0);  // SET_CONFIGURATION 1
  auto done = c.Receive();
  ASSERT_TRUE(done);
  EXPECT_EQ(done->seqnum, set);
  EXPECT_EQ(done->status, 0);
  c.Control(0x80, 8, 0, 0, 1);  // GET_CONFIGURATION
  auto current = c.Receive();
  ASSERT_TRUE(current);
  EXPECT_EQ(current->data, Bytes{1});
  c.Control(0xC0, 0x42, 0, 0, 4);  // vendor request
  auto vendor = c.Receive();
  ASSERT_TRUE(vendor);
  EXPECT_EQ(vendor->status, -32);
}

// What the host's configuration walk receives for each test shape.
TEST_F(UsbipServerTest, ConfigurationShapesReachTheHostAsBuilt) {
  struct Case {
    ConfigShape shape;
    size_t sent;
    uint16_t total;
  };
  for (const Case& k :
       {Case{ConfigShape::kNoEndpoints, 18, 18},
        Case{ConfigShape::kEndpoints33, 18 + 33 * 7, 18 + 33 * 7},
        Case{ConfigShape::kExtraDescriptors, 18 + 8 + 5 + 14, 18 + 8 + 5 + 14},
        Case{ConfigShape::kShort, 32, 48}, Case{ConfigShape::kZeroLength, 36, 36}}) {
    SCOPED_TRACE(static_cast<int>(k.shape));
    DeviceSettings s;
    s.descriptors.shape = k.shape;
    Start(s);
    Client c;
    ASSERT_TRUE(c.Import(port()));
    auto head = c.GetDescriptor(2, 0, 9);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->data[2] | head->data[3] << 8, k.total);
    auto all = c.GetDescriptor(2, 0, k.total);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->actual, k.sent);
    server_->Stop();
  }
}

TEST_F(UsbipServerTest, EchoAnswersEachWriteOnTheInPipe) {
  Start({}, Rules({"write * => echo"}));
  Client c;
  ASSERT_TRUE(c.Import(port()));
  const auto read = c.Submit(1, 2, 512);  // pends until there is data
  Bytes block(512);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7);
  const auto write = c.Submit(0, 1, 512, block);
  auto first = c.Receive();
  auto second = c.Receive();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->seqnum, write) << "the write completes before the device answers it";
  EXPECT_EQ(first->actual, 512u);
  EXPECT_TRUE(first->data.empty());
  EXPECT_EQ(second->seqnum, read);
  EXPECT_EQ(second->data, block);
}

TEST_F(UsbipServerTest, ScriptAnswersMatchingWritesIncludingZeroLength) {
  Start({}, Rules({"write \"HaVo\" 00 01 => read \"HaVo\" 00 02, read 0a 0b", "write 11 => zero"}));
  Client c;
  ASSERT_TRUE(c.Import(port()));
  c.Submit(0, 1, 10, Bytes{'H', 'a', 'V', 'o', 0, 1, 0, 0, 1, 0xEE});  // padded write matches
  ASSERT_TRUE(c.Receive());
  c.Submit(1, 2, 64);
  auto frame = c.Receive();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->data, (Bytes{'H', 'a', 'V', 'o', 0, 2}));
  c.Submit(1, 2, 64);
  auto next = c.Receive();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->data, (Bytes{0x0A, 0x0B}));

  c.Submit(0, 1, 1, Bytes{0x11});
  ASSERT_TRUE(c.Receive());
  const auto read = c.Submit(1, 2, 64);
  auto empty = c.Receive();
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->seqnum, read);
  EXPECT_EQ(empty->status, 0);
  EXPECT_EQ(empty->actual, 0u);
}

TEST_F(UsbipServerTest, SilentDeviceKeepsTheReadUntilUnlinkedAndNeverAnswersItLater) {
  auto trace = std::make_shared<Trace>();
  DeviceSettings s;
  s.trace = [trace](const std::string& line) { trace->Add(line); };
  Start(s, Rules({"write 01 => echo"}));
  Client c;
  ASSERT_TRUE(c.Import(port()));
  const auto read = c.Submit(1, 2, 512);
  c.Submit(0, 1, 2, Bytes{0x22, 0x33});  // no rule: silence
  auto write_done = c.Receive();
  ASSERT_TRUE(write_done);
  EXPECT_FALSE(c.Receive(200)) << "the read must stay pending";

  const auto unlink = c.Unlink(read);
  auto unlinked = c.Receive();
  ASSERT_TRUE(unlinked);
  EXPECT_EQ(unlinked->command, 4u);
  EXPECT_EQ(unlinked->seqnum, unlink);
  EXPECT_EQ(unlinked->status, -104);

  // Data that comes now belongs to the next read, never to the unlinked one.
  c.Submit(0, 1, 1, Bytes{0x01});
  ASSERT_TRUE(c.Receive());
  const auto next = c.Submit(1, 2, 512);
  auto answer = c.Receive();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->seqnum, next);
  EXPECT_EQ(answer->data, Bytes{0x01});

  // The trace tells a host-side test what was asked of the device.
  const std::string lines = trace->Text();
  EXPECT_NE(lines.find("import\nin seq=1 length=512\nout seq=2 length=2 data=22 33\n"),
            std::string::npos)
      << lines;
  EXPECT_NE(lines.find("unlink seq=3 victim=1 cancelled\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("in-done seq=5 length=1 status=0\n"), std::string::npos) << lines;
}

TEST_F(UsbipServerTest, UnlinkOfACompletedReadAnswersZero) {
  Start({}, Rules({"write * => echo"}));
  Client c;
  ASSERT_TRUE(c.Import(port()));
  c.Submit(0, 1, 1, Bytes{0x05});
  ASSERT_TRUE(c.Receive());
  const auto read = c.Submit(1, 2, 64);
  auto data = c.Receive();
  ASSERT_TRUE(data);
  EXPECT_EQ(data->seqnum, read);
  c.Unlink(read);
  auto late = c.Receive();
  ASSERT_TRUE(late);
  EXPECT_EQ(late->command, 4u);
  EXPECT_EQ(late->status, 0);
}

TEST_F(UsbipServerTest, RequestsToMissingEndpointsStall) {
  DeviceSettings s;
  s.descriptors.shape = ConfigShape::kNoEndpoints;
  Start(s);
  Client c;
  ASSERT_TRUE(c.Import(port()));
  c.Submit(0, 1, 1, Bytes{0});
  auto r = c.Receive();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, -32);
  c.Submit(1, 5, 64);
  auto r2 = c.Receive();
  ASSERT_TRUE(r2);
  EXPECT_EQ(r2->status, -32);
}

TEST_F(UsbipServerTest, MalformedCommandsCloseTheConnection) {
  Start({});
  Client wrong_devid;
  ASSERT_TRUE(wrong_devid.Import(port()));
  wrong_devid.SetDevid(0x00010003);
  wrong_devid.Control(0x80, 6, 0x0100, 0, 18);
  EXPECT_TRUE(wrong_devid.WaitClosed());

  Client unknown_command;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!unknown_command.Import(port()) && std::chrono::steady_clock::now() < deadline) {
  }
  Bytes pdu(48, 0);
  pdu[3] = 7;
  unknown_command.SendRaw(pdu);
  EXPECT_TRUE(unknown_command.WaitClosed());
}

// The reboot frame {PSN 0, CMD 11, LEN 0} in natural order, padded to a packet.
Bytes RebootFrame() {
  Bytes frame{'H', 'a', 'V', 'o', 0x00, 0x0B, 0x00, 0x00, 0x0B};
  frame.resize(64, 0xCC);
  return frame;
}

TEST_F(UsbipServerTest, RebootFrameTakesTheDeviceAwayAndBringsItBack) {
  DeviceSettings s;
  // Long enough that the checks made while it is away cannot outlast it on a loaded machine.
  s.rebootDelay = std::chrono::milliseconds(4000);
  Start(s);
  Client c;
  ASSERT_TRUE(c.Import(port()));
  const auto read = c.Submit(1, 2, 64);
  const auto write = c.Submit(0, 1, 64, RebootFrame());
  auto ack = c.Receive();
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->seqnum, write);
  EXPECT_EQ(ack->status, 0);
  EXPECT_NE(ack->seqnum, read);
  EXPECT_TRUE(c.WaitClosed()) << "the pending read dies with the connection";
  EXPECT_EQ(DeviceCount(RequestDevlist(port())), 0u);
  Client during;
  EXPECT_FALSE(during.Import(port()));
  EXPECT_TRUE(WaitForDeviceCount(port(), 1));
  Client after;
  EXPECT_TRUE(after.Import(port()));
}

TEST_F(UsbipServerTest, SwappedRebootFrameIsRecognisedOnlyInTheDevicesByteOrder) {
  auto trace = std::make_shared<Trace>();
  DeviceSettings s;
  s.descriptors.bcdDevice = 0x0200;  // the wire carries pair-swapped frames
  s.rebootDelay = std::chrono::milliseconds(300);
  s.trace = [trace](const std::string& line) { trace->Add(line); };
  Start(s);
  Client c;
  ASSERT_TRUE(c.Import(port()));
  c.Submit(0, 1, 64, RebootFrame());  // natural order: not a frame for this device
  ASSERT_TRUE(c.Receive());
  EXPECT_FALSE(c.WaitClosed(200));
  // Pair-swapped, with the frame's odd final byte (the sum) in the first padding byte.
  Bytes swapped{'a', 'H', 'o', 'V', 0x0B, 0x00, 0x00, 0x00, 0xCC, 0x0B};
  swapped.resize(64, 0xCC);
  c.Submit(0, 1, 64, swapped);
  ASSERT_TRUE(c.Receive());
  EXPECT_TRUE(c.WaitClosed());
  EXPECT_TRUE(WaitForDeviceCount(port(), 1));
  const std::string lines = trace->Text();
  EXPECT_EQ(Count(lines, "reboot\n"), 1u) << lines;
  EXPECT_LT(lines.find("reboot\n"), lines.find("back\n")) << lines;
}

TEST_F(UsbipServerTest, ScheduledRebootComesAfterTheFirstImport) {
  auto trace = std::make_shared<Trace>();
  DeviceSettings s;
  s.rebootAfter = std::chrono::milliseconds(100);
  s.rebootDelay = std::chrono::milliseconds(300);
  s.trace = [trace](const std::string& line) { trace->Add(line); };
  Start(s);
  // Twice the reboot's 100 ms without an import: a reboot now would be one too early.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(DeviceCount(RequestDevlist(port())), 1u) << "nothing happens before an import";
  Client c;
  ASSERT_TRUE(c.Import(port()));
  EXPECT_TRUE(c.WaitClosed());
  EXPECT_TRUE(WaitForDeviceCount(port(), 1));
  Client again;
  ASSERT_TRUE(again.Import(port()));
  EXPECT_FALSE(again.WaitClosed(400)) << "the scheduled reboot happens once";
  const std::string lines = trace->Text();
  EXPECT_EQ(Count(lines, "reboot\n"), 1u) << lines;
  EXPECT_LT(lines.find("import\n"), lines.find("reboot\n")) << lines;
  EXPECT_NE(lines.find("import\n", lines.find("back\n")), std::string::npos) << lines;
}

}  // namespace
}  // namespace sim::usbip
