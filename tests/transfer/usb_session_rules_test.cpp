// The rules around a USB session: one session at a time across both links, a refused start
// taking over the notices, and a receiver that goes away in the middle of a transfer.
#include <gtest/gtest.h>

#include <cstdio>

#include "HvUsb.h"
#include "NorraLink.h"
#include "penwick/usb_driver.hpp"
#include "pty_peer.h"
#include "session_state.h"
#include "sim_process.h"
#include "usb_fixture.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace testpeer {
namespace {

using UsbSessionRules = UsbSessionTest;

TEST_F(UsbSessionRules, StartsOnEitherLinkAreRefusedDuringAUsbSessionAndTakeItsNotices) {
  PtyPeer peer;  // an open serial port: only the running session can refuse a serial start
  ASSERT_EQ(Dll_OpenSerialPort(peer.SlavePath().c_str(), 115200, 0), 1);
  Notes other;
  ASSERT_TRUE(Start({"--mode", "upload"}));
  bool refused = false;
  notes.onNote = [&](uint32_t code, intptr_t) {
    if (code != 4004 || refused) return;
    // Every start is refused; the last one's window and code receive the rest.
    refused = Dll_SerialDown(dir.c_str(), other.handle(), 4003) == 0 &&
              Dll_UsbDown(dir.c_str(), other.handle(), 4013) == 0 &&
              Dll_SerialUp(other.handle(), 4002) == 0 && Dll_UsbUp(other.handle(), 4002) == 0;
  };
  int successAfterRefusal = -1;
  other.onNote = [&](uint32_t code, intptr_t) {
    if (code != 4002) return;
    // The session still holds the busy flag while its completion is handled: a refused start
    // must leave its success flag alone.
    EXPECT_EQ(Dll_SerialUp(other.handle(), 4002), 0);
    successAfterRefusal = transfer::Session().success.load();
  };
  ASSERT_EQ(Dll_UsbUp(notes.handle(), kUsbUpDone), 1);
  EXPECT_TRUE(notes.PumpUntil([&] { return refused; }, 60s));
  EXPECT_TRUE(other.WaitFor(4002, 60s));
  EXPECT_EQ(other.Values(4002), std::vector<intptr_t>{257});
  EXPECT_EQ(successAfterRefusal, 1);
  EXPECT_FALSE(notes.Has(kUsbUpDone));
  // The refused Dll_UsbUp cleared nothing of the stores the session was filling.
  EXPECT_EQ(StoredPacked(), packed);
  EXPECT_EQ(StoredEeprom(), eeprom);
  EXPECT_TRUE(ReceiverEnded(true));
  Dll_CloseSerialPort();
}

TEST_F(UsbSessionRules, ARemovalEndsTheSessionWithoutWaitingAndTheReturnedReceiverServesAgain) {
  pw::usb::SetTimeoutPermille(1000);  // full 8 s reads: the removal must not wait one out
  Dll_PutPackedFlashData(packed.data());
  Dll_PutEepromData(eeprom.data());
  ASSERT_TRUE(Start({"--mode", "download", "--block-size", "2000", "--reboot-after-frames", "5",
                     "--reboot-delay-ms", "3000"}));
  auto& driver = pw::usb::Driver::Process();
  const uint32_t registration = driver.RegisterNotices(notes.handle());
  Clock::time_point removed{}, completed{}, arrived{};
  notes.onDevice = [&](uint32_t event, const std::string& device) {
    if (event == pw::kDeviceRemoveComplete && removed == Clock::time_point{}) {
      removed = Clock::now();
      DeviceRemoval(device.c_str());
    } else if (event == pw::kDeviceArrival && removed != Clock::time_point{}) {
      arrived = Clock::now();
    }
  };
  notes.onNote = [&](uint32_t code, intptr_t) {
    if (code == kUsbDownDone) completed = Clock::now();
  };
  EXPECT_EQ(Download(), 260);
  EXPECT_TRUE(notes.PumpUntil([&] { return removed != Clock::time_point{}; }, 30s));
  const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(completed - removed);
  std::printf("removal notice to completion notice: %lld ms\n",
              static_cast<long long>(delay.count()));
  RecordProperty("removal_to_completion_ms", static_cast<int>(delay.count()));
  EXPECT_LT(delay, 8s);                     // one read time-out; three would be 24 s
  EXPECT_EQ(arrived, Clock::time_point{});  // completed before the receiver came back

  // Back after its reboot: a new download from the start.
  EXPECT_TRUE(notes.PumpUntil([&] { return arrived != Clock::time_point{}; }, 30s));
  ASSERT_EQ(DeviceArrival(path.c_str()), 1);
  EXPECT_EQ(Download(5013), 259);
  EXPECT_TRUE(ReceiverEnded(true));
  driver.UnregisterNotices(registration);
}

}  // namespace
}  // namespace testpeer
