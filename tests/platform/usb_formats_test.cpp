// Pure parts of the USB driver: pipe paths, the environment settings, device paths of USB/IP,
// and the USB/IP wire format.
#include <gtest/gtest.h>

#include <cstdlib>

#include "backends.hpp"
#include "driver_core.hpp"
#include "usbip_client.hpp"
#include "usbip_protocol.hpp"

using pw::usb::Direction;
using pw::usb::Status;
namespace usbip = pw::usb::usbip;

TEST(UsbPipePaths, BuildAndSplit) {
  EXPECT_EQ(pw::usb::PipePath("usb:1-2", 1), "usb:1-2\\INTERFACE_0x00\\PIPE_0x01");
  EXPECT_EQ(pw::usb::PipePath("d", 0x1f), "d\\INTERFACE_0x00\\PIPE_0x1f");
  EXPECT_EQ(pw::usb::PipePath("d", 0x100), "d\\INTERFACE_0x00\\PIPE_0x100");
  const std::string longest(pw::usb::kMaxDevicePathLength, 'a');
  EXPECT_EQ(pw::usb::PipePath(longest, 31).size(), pw::usb::kMaxPipePathLength);
  EXPECT_TRUE(pw::usb::PipePath(longest + "a", 31).empty());

  auto parts = pw::usb::ParsePipePath("usbip:h:1/1-1\\INTERFACE_0x00\\PIPE_0x1f");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->device, "usbip:h:1/1-1");
  EXPECT_EQ(parts->interfaceNumber, 0u);
  EXPECT_EQ(parts->pipe, 0x1fu);
  EXPECT_FALSE(pw::usb::ParsePipePath("usb:1-2"));
  EXPECT_FALSE(pw::usb::ParsePipePath("usb:1-2\\PIPE_0x01"));
  EXPECT_FALSE(pw::usb::ParsePipePath("usb:1-2\\INTERFACE_0x00\\PIPE_0x"));
  EXPECT_FALSE(pw::usb::ParsePipePath("usb:1-2\\INTERFACE_0x00\\PIPE_0x1F"));  // upper case
  EXPECT_FALSE(pw::usb::ParsePipePath("\\INTERFACE_0x00\\PIPE_0x01"));         // no device
}

TEST(UsbSettings, UsbIds) {
  std::vector<std::string> bad;
  auto ids =
      pw::usb::ParseUsbIds(" 1234:5678, 0xABCD:0xef01,1234:5678,zz:1, 12345:1,:1,7:8 ", &bad);
  ASSERT_EQ(ids.size(), 3u);
  EXPECT_EQ(ids[0], (pw::usb::UsbId{0x1234, 0x5678}));
  EXPECT_EQ(ids[1], (pw::usb::UsbId{0xABCD, 0xEF01}));
  EXPECT_EQ(ids[2], (pw::usb::UsbId{7, 8}));
  EXPECT_EQ(bad, (std::vector<std::string>{"zz:1", "12345:1", ":1"}));
  EXPECT_TRUE(pw::usb::ParseUsbIds("").empty());
  EXPECT_TRUE(pw::usb::ParseUsbIds("12345678").empty());
}

TEST(UsbSettings, UsbipServers) {
  std::vector<std::string> bad;
  auto servers =
      pw::usb::ParseUsbipServers("127.0.0.1:3241, box ,[::1]:4000,h:0,h:x,:5,a:b:c", &bad);
  ASSERT_EQ(servers.size(), 3u);
  EXPECT_EQ(servers[0], (pw::usb::UsbipServer{"127.0.0.1", 3241}));
  EXPECT_EQ(servers[1], (pw::usb::UsbipServer{"box", 3240}));
  EXPECT_EQ(servers[2], (pw::usb::UsbipServer{"::1", 4000}));
  EXPECT_EQ(bad, (std::vector<std::string>{"h:0", "h:x", ":5", "a:b:c"}));
}

TEST(UsbipDevicePaths, RoundTrip) {
  EXPECT_EQ(pw::usb::UsbipDevicePath({"::1", 4000}, "1-1.2"), "usbip:[::1]:4000/1-1.2");
  auto parts = pw::usb::ParseUsbipDevicePath("usbip:[::1]:4000/1-1.2");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->host, "::1");
  EXPECT_EQ(parts->port, 4000);
  EXPECT_EQ(parts->busId, "1-1.2");
  parts = pw::usb::ParseUsbipDevicePath("usbip:10.0.0.2:3240/3-4");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->host, "10.0.0.2");
  EXPECT_FALSE(pw::usb::ParseUsbipDevicePath("usbip:h:99999/1-1"));
  EXPECT_FALSE(pw::usb::ParseUsbipDevicePath("usbip:h:1/"));
  EXPECT_FALSE(pw::usb::ParseUsbipDevicePath("usbip:h/1-1"));
  EXPECT_FALSE(pw::usb::ParseUsbipDevicePath("usb:1-1"));
  EXPECT_FALSE(pw::usb::ParseUsbipDevicePath("usbip:h:1/" + std::string(32, '1')));
}

TEST(UsbipClientWire, SubmitAndUnlinkHeaders) {
  const auto in = usbip::EncodeSubmit(7, 0x00010002, Direction::In, 0x82 & 0x0F, 512,
                                      {0x80, 6, 0, 1, 0, 0, 18, 0});
  const std::vector<uint8_t> expected = {
      0, 0, 0, 1, 0, 0, 0, 7, 0,    1, 0, 2, 0, 0, 0,  1,   // submit, seq, devid, IN
      0, 0, 0, 2, 0, 0, 2, 0, 0,    0, 2, 0, 0, 0, 0,  0,   // ep 2, DIR_IN, 512
      0, 0, 0, 0, 0, 0, 0, 0, 0x80, 6, 0, 1, 0, 0, 18, 0};  // setup as USB lays it out
  EXPECT_EQ(std::vector<uint8_t>(in.begin(), in.end()), expected);
  const auto out = usbip::EncodeSubmit(8, 1, Direction::Out, 1, 9, {});
  EXPECT_EQ(out[0x0F], 0);
  EXPECT_EQ(out[0x17], 0);  // no flags on OUT
  const auto unlink = usbip::EncodeUnlink(9, 1, 7);
  EXPECT_EQ(unlink[3], 2);
  EXPECT_EQ(unlink[0x17], 7);
  EXPECT_EQ(unlink[0x13], 0);  // ep 0, direction 0
}

namespace {
std::vector<uint8_t> Record(const std::string& busId, uint8_t interfaces) {
  std::vector<uint8_t> r(312, 0);
  std::copy(busId.begin(), busId.end(), r.begin() + 256);
  r[291] = 3;     // busnum 3
  r[295] = 4;     // devnum 4
  r[300] = 0x12;  // idVendor 0x1234
  r[301] = 0x34;
  r[304] = 0x01;  // bcdDevice 0x0100
  r[311] = interfaces;
  return r;
}
std::vector<uint8_t> RetSubmit(uint32_t seq, int32_t status, uint32_t actual) {
  std::vector<uint8_t> h(48, 0);
  h[3] = 3;
  h[4] = static_cast<uint8_t>(seq >> 24);
  h[7] = static_cast<uint8_t>(seq);
  const auto s = static_cast<uint32_t>(status);
  for (int i = 0; i < 4; ++i) h[0x14 + i] = static_cast<uint8_t>(s >> (24 - 8 * i));
  for (int i = 0; i < 4; ++i) h[0x18 + i] = static_cast<uint8_t>(actual >> (24 - 8 * i));
  return h;
}
}  // namespace

TEST(UsbipClientWire, DeviceListWithInterleavedInterfaceRecords) {
  std::vector<uint8_t> reply = {1, 0x11, 0, 5, 0, 0, 0, 0, 0, 0, 0, 2};
  auto first = Record("1-1", 2);
  reply.insert(reply.end(), first.begin(), first.end());
  reply.insert(reply.end(), 8, 0xFF);  // two interface records
  auto second = Record("2-1", 0);
  reply.insert(reply.end(), second.begin(), second.end());
  usbip::MemoryReader in(reply);
  auto devices = usbip::ReadDevlistReply(in);
  ASSERT_TRUE(devices);
  ASSERT_EQ(devices->size(), 2u);
  EXPECT_EQ((*devices)[0].busId, "1-1");
  EXPECT_EQ((*devices)[0].idVendor, 0x1234);
  EXPECT_EQ((*devices)[0].bcdDevice, 0x0100);
  EXPECT_EQ((*devices)[0].DevId(), 0x00030004u);
  EXPECT_EQ((*devices)[1].busId, "2-1");
  EXPECT_EQ(in.Left(), 0u);

  // Truncated, wrong code, failed status, absurd count.
  auto cut = reply;
  cut.resize(cut.size() - 1);
  usbip::MemoryReader truncated(cut);
  EXPECT_FALSE(usbip::ReadDevlistReply(truncated));
  auto wrong = reply;
  wrong[3] = 3;
  usbip::MemoryReader wrongCode(wrong);
  EXPECT_FALSE(usbip::ReadDevlistReply(wrongCode));
  std::vector<uint8_t> huge = {1, 0x11, 0, 5, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  usbip::MemoryReader hugeCount(huge);
  EXPECT_FALSE(usbip::ReadDevlistReply(hugeCount));
}

TEST(UsbipClientWire, ImportReplyMustNameTheDevice) {
  std::vector<uint8_t> reply = {1, 0x11, 0, 3, 0, 0, 0, 0};
  auto record = Record("1-1", 1);
  reply.insert(reply.end(), record.begin(), record.end());
  int32_t status = 0;
  usbip::MemoryReader ok(reply);
  EXPECT_TRUE(usbip::ReadImportReply(ok, "1-1", &status));
  EXPECT_EQ(status, 0);
  usbip::MemoryReader other(reply);
  EXPECT_FALSE(usbip::ReadImportReply(other, "1-2", &status));
  const std::vector<uint8_t> refused = {1, 0x11, 0, 3, 0, 0, 0, 1};
  usbip::MemoryReader busy(refused);
  EXPECT_FALSE(usbip::ReadImportReply(busy, "1-1", &status));
  EXPECT_EQ(status, 1);
}

TEST(UsbipClientWire, RepliesAreCheckedAgainstWhatIsOutstanding) {
  auto lookup = [](uint32_t seq) -> std::optional<usbip::Outstanding> {
    if (seq == 1) return usbip::Outstanding{Direction::In, 4};
    if (seq == 2) return usbip::Outstanding{Direction::Out, 9};
    return std::nullopt;
  };
  std::vector<uint8_t> data;
  auto bytes = RetSubmit(1, 0, 3);
  bytes.insert(bytes.end(), {1, 2, 3});
  usbip::MemoryReader in(bytes);
  auto reply = usbip::ReadReply(in, lookup, &data);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->actualLength, 3u);
  EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 3}));

  auto outReply = RetSubmit(2, 0, 9);  // no data follows an OUT reply
  usbip::MemoryReader out(outReply);
  ASSERT_TRUE(usbip::ReadReply(out, lookup, &data));
  EXPECT_TRUE(data.empty());

  auto tooLong = RetSubmit(1, 0, 5);  // more than the buffer: the connection must go
  tooLong.insert(tooLong.end(), 5, 0);
  usbip::MemoryReader over(tooLong);
  EXPECT_FALSE(usbip::ReadReply(over, lookup, &data));
  auto unknown = RetSubmit(3, 0, 0);
  usbip::MemoryReader stray(unknown);
  EXPECT_FALSE(usbip::ReadReply(stray, lookup, &data));

  EXPECT_EQ(usbip::StatusFromUrb(0), Status::Success);
  EXPECT_EQ(usbip::StatusFromUrb(-104), Status::Cancelled);
  EXPECT_EQ(usbip::StatusFromUrb(-32), Status::Stall);
  EXPECT_EQ(usbip::StatusFromUrb(-75), Status::Overflow);
  EXPECT_EQ(usbip::StatusFromUrb(-19), Status::NoDevice);
  EXPECT_EQ(usbip::StatusFromUrb(-108), Status::NoDevice);
  EXPECT_EQ(usbip::StatusFromUrb(-71), Status::IoError);
}

TEST(UsbSettings, EnvironmentNoteSaysWhatIsMissing) {
  ::unsetenv("PENWICK_USB_IDS");
  ::unsetenv("PENWICK_USBIP");
  EXPECT_NE(pw::usb::Driver::EnvironmentNote().find("PENWICK_USB_IDS="), std::string::npos);
  ::setenv("PENWICK_USBIP", "127.0.0.1:3240", 1);
  EXPECT_EQ(pw::usb::Driver::EnvironmentNote(), "");
  ::setenv("PENWICK_USB_IDS", "1234:5678,oops", 1);
  EXPECT_EQ(pw::usb::Driver::EnvironmentNote(), "PENWICK_USB_IDS: \"oops\" is not vvvv:pppp.");
  ::unsetenv("PENWICK_USB_IDS");
  ::unsetenv("PENWICK_USBIP");
}
