#include "usb_fixture.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "HvUsb.h"
#include "NorraLink.h"
#include "notifications.h"
#include "penwick/usb_backend.hpp"
#include "sample_region.h"
#include "sim_process.h"
#include "usb_session.h"

using namespace std::chrono_literals;

namespace testpeer {
namespace {

void Save(const std::filesystem::path& file, const std::vector<uint8_t>& data) {
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

}  // namespace

UsbSessionTest::UsbSessionTest() = default;
UsbSessionTest::~UsbSessionTest() = default;

void UsbSessionTest::SetUp() {
  InitDevice();
  ASSERT_EQ(Dll_InitUsbFunc(), 1);
  dir = std::filesystem::temp_directory_path() /
        ("pw-usb-" + std::to_string(::getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::create_directories(dir);
  packed = samples::RandomBytes(131072, 41);
  eeprom = samples::RandomBytes(256, 42);
  Save(dir / "image.pak", packed);
  Save(dir / "eeprom.bin", eeprom);
}

void UsbSessionTest::TearDown() {
  EXPECT_TRUE(notes.PumpUntil([] { return transfer::LiveUsbWorkers() == 0; }, 60s));
  DeviceRemoval(nullptr);
  sim.reset();
  pw::usb::Driver::Process().Reset({});
  pw::usb::SetTimeoutPermille(1000);
  transfer::RecordOwner(nullptr, 0);
  std::filesystem::remove_all(dir);
}

bool UsbSessionTest::Start(std::vector<std::string> options) {
  DeviceRemoval(nullptr);
  sim.reset();
  options.insert(options.end(), {"--pak", (dir / "image.pak").string(), "--eeprom",
                                 (dir / "eeprom.bin").string()});
  sim = std::make_unique<hvusb_test::SimProcess>(options);
  if (!sim->ok()) {
    ADD_FAILURE() << "the emulated receiver did not start";
    return false;
  }
  sim->UseAsOnlyReceiver();
  path = sim->DevicePath();
  const int arrived = DeviceArrival(path.c_str());
  EXPECT_EQ(arrived, 1);
  return arrived == 1;
}

bool UsbSessionTest::RebootAndReopen() {
  sim->Reboot();
  // The device leaves the server's list first, then comes back after its reboot delay.
  const auto listed = [&] {
    const auto paths = pw::usb::Driver::Process().Enumerate();
    return std::find(paths.begin(), paths.end(), path) != paths.end();
  };
  EXPECT_TRUE(notes.PumpUntil([&] { return !listed(); }, 30s)) << "the receiver did not leave";
  const bool back = notes.PumpUntil(
      [&] {
        DeviceRemoval(nullptr);
        return DeviceArrival(path.c_str()) == 1;
      },
      30s);
  EXPECT_TRUE(back) << "the receiver did not come back";
  return back;
}

intptr_t UsbSessionTest::Await(uint32_t completion, size_t before) {
  EXPECT_TRUE(notes.PumpUntil([&] { return notes.Values(completion).size() > before; }, 120s));
  const auto results = notes.Values(completion);
  return results.size() > before ? results[before] : -1;
}

intptr_t UsbSessionTest::Download(uint32_t completion) {
  const size_t before = notes.Values(completion).size();
  const int started = Dll_UsbDown(dir.c_str(), notes.handle(), static_cast<int32_t>(completion));
  EXPECT_EQ(started, 1);
  const intptr_t result = started == 1 ? Await(completion, before) : -1;
  // Whatever the outcome, the session removed its download file before it reported.
  EXPECT_FALSE(std::filesystem::exists(dir / "~tmpDown.hvd"));
  return result;
}

intptr_t UsbSessionTest::Upload(uint32_t completion) {
  const size_t before = notes.Values(completion).size();
  const int started = Dll_UsbUp(notes.handle(), static_cast<int32_t>(completion));
  EXPECT_EQ(started, 1);
  return started == 1 ? Await(completion, before) : -1;
}

::testing::AssertionResult UsbSessionTest::ReceiverEnded(bool ok, bool stop) {
  const auto exit = sim->Finish(60s, stop);
  const bool said = exit.lastLine.rfind(ok ? "SIM OK" : "SIM FAIL", 0) == 0;
  if (exit.status == (ok ? 0 : 1) && said) return ::testing::AssertionSuccess() << exit.lastLine;
  return ::testing::AssertionFailure()
         << "status " << exit.status << ", last line \"" << exit.lastLine << "\"";
}

std::vector<uint8_t> UsbSessionTest::StoredPacked() const {
  std::vector<uint8_t> out(131072);
  Dll_GetPackedFlashData(out.data());
  return out;
}

std::vector<uint8_t> UsbSessionTest::StoredEeprom() const {
  std::vector<uint8_t> out(256);
  Dll_GetEepromData(out.data());
  return out;
}

}  // namespace testpeer
