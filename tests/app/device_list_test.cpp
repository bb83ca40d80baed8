// The serial ports of --list: which tty devices are found and in what order, and the port text
// and setting that name each, never a number that selects a USB run.
#include <gtest/gtest.h>

#include <fstream>

#include "serial_ports.h"
#include "work_folder.h"

namespace {

TEST(DeviceList, SerialPortsAreFoundInOrderAndNamedByASerialNumber) {
  apptest::WorkFolder folder("pw-ports-");
  std::filesystem::create_directories("dev");
  for (const char* name : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM1", "tty0", "ttyS", "ttySx"}) {
    std::ofstream("dev/" + std::string(name));
  }
  std::filesystem::create_directories("tty/ttyS2");
  std::filesystem::create_directories("tty/ttyS10");
  std::ofstream("tty/ttyS2/type") << "0\n";  // no UART
  std::ofstream("tty/ttyS10/type") << "4\n";
  const auto found = app::FindSerialDevices("dev", "tty");
  ASSERT_EQ(found.size(), 4u);
  EXPECT_EQ(found[0].path, "dev/ttyS2");
  EXPECT_TRUE(found[0].noUart);
  EXPECT_EQ(found[1].path, "dev/ttyS10");
  EXPECT_FALSE(found[1].noUart);
  EXPECT_EQ(found[2].path, "dev/ttyUSB0");
  EXPECT_EQ(found[3].path, "dev/ttyACM1");

  // PENWICK_COM2 names ttyUSB1, so ttyS1 loses COM2; ttyS255 would be COM256 (a USB upload);
  // PENWICK_COM0 (a USB download) names nothing.
  const std::vector<app::SerialDevice> devices = {{"/dev/ttyS0"},   {"/dev/ttyS1"},
                                                  {"/dev/ttyS255"}, {"/dev/ttyUSB0"},
                                                  {"/dev/ttyUSB1"}, {"/dev/ttyACM0"}};
  const auto named =
      app::NameSerialPorts(devices, {{2, "/dev/ttyUSB1"}, {0, "/dev/ttyACM0"}, {5, "/dev/ttyX"}});
  struct Expected {
    const char* port;
    const char* setting;
    bool named;
  };
  const Expected expected[] = {
      {"COM1", "", false},
      {"COM3", "PENWICK_COM3=/dev/ttyS1", false},
      {"COM4", "PENWICK_COM4=/dev/ttyS255", false},
      {"COM6", "PENWICK_COM6=/dev/ttyUSB0", false},  // COM5 is set for another device
      {"COM2", "", true},
      {"COM7", "PENWICK_COM7=/dev/ttyACM0", false},
  };
  ASSERT_EQ(named.size(), std::size(expected));
  for (size_t i = 0; i < named.size(); ++i) {
    SCOPED_TRACE(named[i].device);
    EXPECT_EQ(named[i].portText, expected[i].port);
    EXPECT_EQ(named[i].setting, expected[i].setting);
    EXPECT_EQ(named[i].named, expected[i].named);
  }
}

}  // namespace
