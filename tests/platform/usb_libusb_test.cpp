// The libusb backend without hardware: its id matching, port paths, that no failure reads as
// a success, and the permission message; and a backend over this machine's bus, which holds no
// receiver; and the device list's judgement of a recorded set of devices.
#include <gtest/gtest.h>
#include <libusb.h>

#include "libusb_backend.hpp"
#include "penwick/usb_survey.hpp"

using pw::usb::Status;

TEST(LibusbBackend, PortPathsAndIdMatching) {
  const uint8_t ports[] = {2, 4, 1};
  EXPECT_EQ(pw::usb::LibusbDevicePath(1, ports), "usb:1-2.4.1");
  EXPECT_EQ(pw::usb::LibusbDevicePath(3, std::span<const uint8_t>(ports, 1)), "usb:3-2");
  EXPECT_EQ(pw::usb::LibusbDevicePath(1, {}), "");  // a root hub has no port path

  const auto ids = pw::usb::ParseUsbIds("1234:5678,abcd:0001");
  EXPECT_TRUE(pw::usb::MatchesIds(ids, 0x1234, 0x5678));
  EXPECT_TRUE(pw::usb::MatchesIds(ids, 0xABCD, 0x0001));
  EXPECT_FALSE(pw::usb::MatchesIds(ids, 0x1234, 0x0001));  // the pair, not either id
  EXPECT_FALSE(pw::usb::MatchesIds({}, 0x1234, 0x5678));   // no ids: no receiver
}

// No failure of libusb may reach the driver as a success or as a request still pending.
TEST(LibusbBackend, NoFailureTranslatesToSuccess) {
  for (int error = LIBUSB_ERROR_IO; error >= LIBUSB_ERROR_NOT_SUPPORTED; --error) {
    const Status status = pw::usb::StatusFromLibusbError(error);
    EXPECT_NE(status, Status::Success) << libusb_error_name(error);
    EXPECT_NE(status, Status::Pending) << libusb_error_name(error);
  }
  EXPECT_NE(pw::usb::StatusFromLibusbError(LIBUSB_ERROR_OTHER), Status::Success);
  EXPECT_EQ(pw::usb::StatusFromTransferStatus(LIBUSB_TRANSFER_COMPLETED), Status::Success);
  for (const auto failed :
       {LIBUSB_TRANSFER_ERROR, LIBUSB_TRANSFER_TIMED_OUT, LIBUSB_TRANSFER_CANCELLED,
        LIBUSB_TRANSFER_STALL, LIBUSB_TRANSFER_NO_DEVICE, LIBUSB_TRANSFER_OVERFLOW}) {
    const Status status = pw::usb::StatusFromTransferStatus(failed);
    EXPECT_NE(status, Status::Success) << failed;
    EXPECT_NE(status, Status::Pending) << failed;
  }
}

TEST(LibusbBackend, PermissionDeniedNamesTheRuleCommand) {
  const auto text =
      pw::usb::AccessDeniedMessage("usb:1-2", pw::usb::ParseUsbIds("1234:5678,ABCD:1"));
  EXPECT_NE(text.find("usb:1-2"), std::string::npos);
  // The helper that the build puts beside the programs (and the package installs there).
  EXPECT_NE(text.find("bin/penwick-udev-rule "), std::string::npos) << text;
  EXPECT_NE(text.find("PENWICK_USB_IDS=1234:5678,abcd:0001"), std::string::npos);
}

TEST(LibusbBackend, ABusWithoutReceiversListsNothingAndOpensNothing) {
  auto backend = pw::usb::MakeLibusbBackend({{0xFFFF, 0xFFFE}});
  if (!backend) GTEST_SKIP() << "libusb cannot start on this machine";
  std::vector<std::unique_ptr<pw::usb::Backend>> backends;
  backends.push_back(std::move(backend));
  pw::usb::Driver driver(std::move(backends));
  EXPECT_TRUE(driver.Enumerate().empty());
  EXPECT_EQ(driver.Open("usb:1-1").status, Status::NotFound);
  EXPECT_EQ(driver.Open(pw::usb::PipePath("usb:1-1", 0)).status, Status::NotFound);
}

namespace {

// A recorded set of local devices: their descriptors as the device sent them, the driver
// sysfs names, and what an open would answer. It notes every open.
class RecordedDevices final : public pw::usb::LocalDeviceSource {
 public:
  struct Device {
    pw::usb::LocalDeviceFacts facts;
    Status open = Status::Success;
  };
  std::vector<pw::usb::LocalDeviceFacts> List() override {
    std::vector<pw::usb::LocalDeviceFacts> facts;
    for (const auto& device : devices) facts.push_back(device.facts);
    return facts;
  }
  Status TryOpen(const std::string& path, std::string* message) override {
    opened.push_back(path);
    for (const auto& device : devices) {
      if (device.facts.path == path) {
        *message = pw::usb::StatusText(device.open);
        return device.open;
      }
    }
    return Status::NotFound;
  }
  std::vector<Device> devices;
  std::vector<std::string> opened;
};

std::optional<pw::usb::DeviceShape> Shape(std::vector<uint8_t> config) {
  return pw::usb::ShapeOfConfiguration(config);
}

}  // namespace

TEST(LibusbBackend, DeviceListJudgesEachRecordedDevice) {
  // The receiver: one vendor-specific interface, bulk OUT 0x01 and bulk IN 0x82.
  const auto receiver = Shape({9, 2, 32, 0, 1,    1, 0,  0x80, 50, 9, 4, 0,    0, 2,  0xFF, 0,
                               0, 0, 7,  5, 0x01, 2, 64, 0,    0,  7, 5, 0x82, 2, 64, 0,    0});
  // A mouse: a HID interface (a class descriptor before its interrupt endpoint).
  const auto mouse = Shape({9, 2, 34,   0,    1, 1, 0, 0xA0, 50, 9, 4, 0, 0,    1, 3, 1, 2,
                            0, 9, 0x21, 0x11, 1, 0, 1, 0x22, 52, 0, 7, 5, 0x81, 3, 8, 0, 10});
  // Vendor-specific, but its IN endpoint is an interrupt endpoint.
  const auto interruptIn = Shape({9, 2, 32, 0, 1,    1, 0,  0x80, 50, 9, 4, 0,    0, 2,  0xFF, 0,
                                  0, 0, 7,  5, 0x01, 2, 64, 0,    0,  7, 5, 0x81, 3, 64, 0,    1});
  // The receiver's interface and a second one.
  const auto twoInterfaces =
      Shape({9, 2, 32, 0, 2,    1, 0,  0x80, 50, 9, 4, 0,    0, 2,  0xFF, 0,
             0, 0, 7,  5, 0x01, 2, 64, 0,    0,  7, 5, 0x82, 2, 64, 0,    0});
  ASSERT_TRUE(receiver && mouse && interruptIn && twoInterfaces);

  RecordedDevices source;
  source.devices = {
      {{"usb:1-1", 0x1234, 0x5678, 0x0200, "Maker Box", receiver, ""}},
      {{"usb:1-2", 0xABCD, 0x0001, 0x0101, "", receiver, ""}, Status::AccessDenied},
      {{"usb:1-3", 0x046D, 0xC077, 0x7200, "Mouse", mouse, ""}},
      {{"usb:1-4", 0x0403, 0x6001, 0x0600, "Serial", receiver, "ftdi_sio"}},
      {{"usb:1-5", 0x2222, 0x0001, 0x0100, "", receiver, ""}},
      {{"usb:1-6", 0x3333, 0x0001, 0x0100, "", std::nullopt, ""}},
      {{"usb:1-7", 0x4444, 0x0001, 0x0100, "", interruptIn, ""}},
      {{"usb:1-8", 0x5555, 0x0001, 0x0100, "", twoInterfaces, "usbfs"}},
  };
  const auto ids = pw::usb::ParseUsbIds("abcd:0001,2222:0001,3333:0001");
  const auto listed = pw::usb::SurveyLocalDevices(source, ids);
  ASSERT_EQ(listed.size(), 8u);
  struct Expected {
    bool shape, configured, usable;
    std::string problems;  // the problems joined by " | "
    std::string setting;
  };
  const std::string rule = "bin/penwick-udev-rule";
  const Expected expected[] = {
      {true, false, false, "PENWICK_USB_IDS does not name it",
       "PENWICK_USB_IDS=abcd:0001,2222:0001,3333:0001,1234:5678"},
      {true, true, false,
       "permission denied; install the udev rule once, as root: "
       "PENWICK_USB_IDS=abcd:0001,2222:0001,3333:0001 ",
       ""},
      {false, false, false,
       "not the receiver's shape: its interface is of class 0x03, not vendor-specific", ""},
      {true, false, false,
       "PENWICK_USB_IDS does not name it | the kernel driver ftdi_sio holds it; it is left alone",
       "PENWICK_USB_IDS=abcd:0001,2222:0001,3333:0001,0403:6001"},
      {true, true, true, "", ""},
      {false, true, false, "its configuration cannot be read", ""},
      {false, false, false, "not the receiver's shape: its interface has no bulk IN endpoint", ""},
      {false, false, false,
       "not the receiver's shape: it has 2 interfaces, not one | another program holds it", ""},
  };
  for (size_t i = 0; i < listed.size(); ++i) {
    SCOPED_TRACE(listed[i].path);
    std::string problems;
    for (const auto& p : listed[i].problems) problems += (problems.empty() ? "" : " | ") + p;
    EXPECT_EQ(listed[i].receiverShape, expected[i].shape);
    EXPECT_EQ(listed[i].configured, expected[i].configured);
    EXPECT_EQ(listed[i].usable, expected[i].usable);
    EXPECT_EQ(problems.rfind(expected[i].problems, 0), 0u) << problems;
    EXPECT_EQ(listed[i].setting, expected[i].setting);
  }
  EXPECT_NE(listed[1].problems[0].find(rule), std::string::npos);
  // Opened: only what the settings name or what has the receiver's shape, and nothing that
  // another driver or program holds.
  EXPECT_EQ(source.opened, (std::vector<std::string>{"usb:1-1", "usb:1-2", "usb:1-5", "usb:1-6"}));
}
