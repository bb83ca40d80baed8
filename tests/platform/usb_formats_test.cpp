// Pure parts of the USB driver: pipe paths, the environment settings, device paths of USB/IP,
// the USB/IP wire format, and the rules of the receiver's bulk driver on Windows.
#include <gtest/gtest.h>

#include <cstdlib>

#include "backends.hpp"
#include "bulk_driver_formats.hpp"
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
#ifdef _WIN32
  // The receiver's bulk driver finds receivers without a setting.
  EXPECT_EQ(pw::usb::Driver::EnvironmentNote(), "");
#else
  EXPECT_NE(pw::usb::Driver::EnvironmentNote().find("PENWICK_USB_IDS="), std::string::npos);
#endif
  ::setenv("PENWICK_USBIP", "127.0.0.1:3240", 1);
  EXPECT_EQ(pw::usb::Driver::EnvironmentNote(), "");
  ::setenv("PENWICK_USB_IDS", "1234:5678,oops", 1);
  EXPECT_EQ(pw::usb::Driver::EnvironmentNote(), "PENWICK_USB_IDS: \"oops\" is not vvvv:pppp.");
  ::unsetenv("PENWICK_USB_IDS");
  ::unsetenv("PENWICK_USBIP");
}

namespace bulk = pw::usb::bulk;

// A device-change broadcast as the system lays it out: size, type, reserved, class, name.
std::vector<uint8_t> Broadcast(uint32_t type, std::array<uint8_t, 16> guid, std::string name,
                               bool terminated = true) {
  std::vector<uint8_t> bytes(12);
  bytes[4] = static_cast<uint8_t>(type);
  bytes.insert(bytes.end(), guid.begin(), guid.end());
  bytes.insert(bytes.end(), name.begin(), name.end());
  if (terminated) bytes.push_back(0);
  while (bytes.size() < bulk::kNoticeFilterSize) bytes.push_back(0xEE);  // padding
  bytes[0] = static_cast<uint8_t>(bytes.size());
  return bytes;
}

TEST(UsbBulkDriver, DeviceNotices) {
  const std::string name = "\\\\?\\USB#VID_1234&PID_5678#7#{FD8F99A2-0278-4E06-9AB6-80497C4C99C5}";
  const std::string canonical =
      "\\\\?\\usb#vid_1234&pid_5678#7#{fd8f99a2-0278-4e06-9ab6-80497c4c99c5}";
  auto otherClass = bulk::kInterfaceClass;
  otherClass[15] ^= 1;
  auto cutShort = Broadcast(5, bulk::kInterfaceClass, name);
  cutShort.resize(40);  // the size says more than the bytes given: only those are read
  auto unterminatedInSize = Broadcast(5, bulk::kInterfaceClass, "\\\\?\\x");
  unterminatedInSize[0] = static_cast<uint8_t>(bulk::kNoticeNameOffset + 5);  // NUL outside
  struct Case {
    const char* what;
    uintptr_t event;
    std::vector<uint8_t> bytes;
    bool notice;
  };
  const Case cases[] = {
      {"arrival", 0x8000, Broadcast(5, bulk::kInterfaceClass, name), true},
      {"removal complete", 0x8004, Broadcast(5, bulk::kInterfaceClass, name), true},
      {"query remove", 0x8001, Broadcast(5, bulk::kInterfaceClass, name), false},
      {"handle notice", 0x8000, Broadcast(6, bulk::kInterfaceClass, name), false},
      {"other class", 0x8000, Broadcast(5, otherClass, name), false},
      {"empty name", 0x8000, Broadcast(5, bulk::kInterfaceClass, ""), false},
      {"not a device path", 0x8000, Broadcast(5, bulk::kInterfaceClass, "COM3"), false},
      {"no terminator", 0x8000, Broadcast(5, bulk::kInterfaceClass, name, false), false},
      {"terminator past the size", 0x8000, unterminatedInSize, false},
      {"header only", 0x8000, std::vector<uint8_t>(12, 0), false},
      {"cut short", 0x8004, cutShort, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto notice = bulk::DecodeDeviceNotice(c.event, c.bytes);
    ASSERT_EQ(notice.has_value(), c.notice);
    if (!notice) continue;
    EXPECT_EQ(notice->event, c.event);
    EXPECT_EQ(notice->path, canonical);
    EXPECT_TRUE(bulk::IsDriverPath(notice->path));
  }
  EXPECT_TRUE(bulk::IsDriverPath("\\\\.\\x"));
  EXPECT_FALSE(bulk::IsDriverPath("usbip:h:1/1-1"));
  EXPECT_FALSE(bulk::IsDriverPath("\\\\?\\"));
}

TEST(UsbBulkDriver, ControlRequestsAndResults) {
  // A descriptor read of 0x0112 bytes: the setup packet, then the data stage in one buffer.
  const auto calls = bulk::ControlRequestCalls({0x80, 6, 0, 2, 0, 0, 0x12, 0x01});
  EXPECT_EQ(calls[0].code, 0x00222100u);
  EXPECT_EQ(calls[0].inSize, 8u);
  EXPECT_EQ(calls[0].outSize, 8u);
  EXPECT_EQ(calls[1].code, 0x00222104u);
  EXPECT_EQ(calls[1].inSize, 0x112u);
  EXPECT_EQ(calls[1].outSize, 0x112u);
  EXPECT_EQ(bulk::ControlDataCount(9, 0x112), 9u);
  EXPECT_EQ(bulk::ControlDataCount(0, 18), 18u);  // no count reported: the buffer as filled
  EXPECT_EQ(bulk::ControlDataCount(40, 18), 18u);
  for (uint32_t code : {0x00220000u, 0x00220010u, 0x00220014u, 0x00220018u}) {
    EXPECT_TRUE(bulk::PassedToDriver(code)) << code;
  }
  EXPECT_FALSE(bulk::PassedToDriver(0x00222100));
  EXPECT_FALSE(bulk::PassedToDriver(0x00222104));

  const std::pair<uint32_t, Status> errors[] = {
      {0, Status::Success},           {2, Status::NotFound},
      {5, Status::AccessDenied},      {32, Status::Busy},
      {995, Status::Cancelled},       {121, Status::Timeout},
      {234, Status::Overflow},        {31, Status::Stall},
      {1167, Status::NoDevice},       {22, Status::NoDevice},
      {87, Status::InvalidParameter}, {1, Status::NotSupported},
      {6, Status::InvalidHandle},     {1117, Status::IoError},
  };
  for (const auto& [error, status] : errors) {
    EXPECT_EQ(bulk::StatusFromWin32Error(error), status) << error;
  }
  EXPECT_EQ(bulk::IssueOutcome(true, 0), bulk::Issue::Completed);
  EXPECT_EQ(bulk::IssueOutcome(false, 997), bulk::Issue::Pending);
  EXPECT_EQ(bulk::IssueOutcome(false, 1167), bulk::Issue::Refused);
}
