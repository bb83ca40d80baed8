// The libusb backend without hardware: its id matching, port paths, that no failure reads as
// a success, and the permission message; and a backend over this machine's bus, which holds no
// receiver.
#include <gtest/gtest.h>
#include <libusb.h>

#include "libusb_backend.hpp"

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
  EXPECT_NE(text.find(pw::usb::kUdevRuleCommand), std::string::npos);
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
