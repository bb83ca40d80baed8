// The USB sessions against a receiver that misbehaves on request (penwick-sim usb faults), in
// one wire combination: what the PC retries, what ends a session, and that nothing of a
// session stays held after it.
#include <gtest/gtest.h>

#include "HvUsb.h"
#include "NorraLink.h"
#include "penwick/usb_driver.hpp"
#include "session_state.h"
#include "sim_process.h"
#include "usb_fixture.h"
#include "usb_session.h"
#include "worker_threads.h"

using namespace std::chrono_literals;

namespace testpeer {
namespace {

class UsbSessionFaults : public UsbSessionTest {
 protected:
  std::vector<std::string> Wire(std::vector<std::string> options) {
    options.insert(options.end(), {"--bcd-device", "0200", "--max-packet", "64"});
    return options;
  }
  // The busy and worker flags are clear: the worker clears them after its completion notice.
  bool NothingHeld() {
    return notes.PumpUntil(
        [] { return !transfer::Session().Busy() && transfer::Session().usbWorker.load() == 0; },
        10s);
  }
};

// Frames the receiver sends: 1 answers the opening, 2 the flash size, 3 on the flash blocks.
TEST_F(UsbSessionFaults, UploadRetriesSpoiledAnswersAndStillFillsBothStores) {
  ASSERT_TRUE(Start(Wire({"--mode", "upload",
                          // block 1: three wrong commands (the failure count stays), then an
                          // answer 3 bytes too long (the chunk is stored, nothing more)
                          "--wrong-cmd", "3-5", "--long-block", "4",
                          // block 2: one byte short, then a bad SUM (two failed reads), then
                          // a stale PSN (unchecked: stored, and the count starts again)
                          "--short-block", "5", "--corrupt-sum", "8", "--stale-psn", "8",
                          // block 3: no answer at all (a read time-out), then a good one
                          "--drop", "9"})));
  EXPECT_EQ(Upload(), 257);
  EXPECT_TRUE(ReceiverEnded(true));
  EXPECT_EQ(StoredPacked(), packed);
  EXPECT_EQ(StoredEeprom(), eeprom);
}

TEST_F(UsbSessionFaults, ARefusedOpeningLeavesTheStoresClearedAndAFlashSizeOfZeroFetchesNone) {
  Dll_PutPackedFlashData(packed.data());
  Dll_PutEepromData(eeprom.data());
  ASSERT_TRUE(Start(Wire({"--mode", "upload", "--refuse-opening", "1", "--flash-size", "0"})));
  // The answer carries CMD 8: the start fails, and the stores it cleared stay cleared.
  EXPECT_EQ(Dll_UsbUp(notes.handle(), kUsbUpDone), 0);
  EXPECT_TRUE(NothingHeld());
  EXPECT_EQ(StoredPacked(), std::vector<uint8_t>(131072, 0));
  EXPECT_EQ(StoredEeprom(), std::vector<uint8_t>(256, 0));
  // The next opening is answered; no flash block is asked for, the EEPROM comes.
  EXPECT_EQ(Upload(), 257);
  EXPECT_TRUE(ReceiverEnded(true));
  EXPECT_EQ(StoredPacked(), std::vector<uint8_t>(131072, 0));
  EXPECT_EQ(StoredEeprom(), eeprom);
  EXPECT_FALSE(notes.Has(4004));
}

TEST_F(UsbSessionFaults, SequenceNumbersWrapAndAHundredWrongCommandsEndTheUpload) {
  // 99 wrong commands to each flash block: over 300 frames from the PC before the EEPROM's
  // size query, whose answer still matches on the low 8 bits of the counter.
  ASSERT_TRUE(Start(Wire({"--mode", "upload", "--wrong-cmd", "3-101,103-201,203-301"})));
  EXPECT_EQ(Upload(), 257);
  EXPECT_TRUE(ReceiverEnded(true));
  EXPECT_GT(transfer::Session().usbSequence.load(), 300u);
  EXPECT_EQ(StoredPacked(), packed);
  EXPECT_EQ(StoredEeprom(), eeprom);

  // A hundred in a row to one block: the PC gives up rather than ask for ever.
  ASSERT_TRUE(Start(Wire({"--mode", "upload", "--wrong-cmd", "3-102", "--idle-ms", "1000"})));
  EXPECT_EQ(Upload(), 258);
  EXPECT_TRUE(ReceiverEnded(false));  // the PC went silent without CMD_END
  EXPECT_TRUE(NothingHeld());
}

// Frames the receiver sends in a download: 1 answers the opening, then its block requests.
TEST_F(UsbSessionFaults, DownloadSurvivesDamagedLostAndUnknownRequests) {
  Dll_PutPackedFlashData(packed.data());
  Dll_PutEepromData(eeprom.data());
  // Each spoiled request is sent again after 300 ms, well within the PC's read time-out.
  ASSERT_TRUE(Start(Wire({"--mode", "download", "--answer-ms", "300", "--block-size", "4000",
                          // two failed reads in a row, twice: the count starts again between
                          "--corrupt-sum", "3,4,12,13",
                          // a request lost on the way, one the PC ignores, an answer lost
                          "--drop-request", "8", "--wrong-cmd", "16", "--drop", "20"})));
  EXPECT_EQ(Download(), 259);
  EXPECT_TRUE(ReceiverEnded(true));
}

TEST_F(UsbSessionFaults, RequestsThePcCannotServeEndTheSession) {
  Dll_PutPackedFlashData(packed.data());
  Dll_PutEepromData(eeprom.data());
  // 65528 bytes do not fit one transfer.
  ASSERT_TRUE(Start(
      Wire({"--mode", "download", "--block-size", "65528", "--tries", "1", "--answer-ms", "500"})));
  EXPECT_EQ(Download(), 260);
  EXPECT_TRUE(NothingHeld());
  // A block ending one byte past the file.
  ASSERT_TRUE(Start(
      Wire({"--mode", "download", "--block-size", "60000", "--beyond-end", "--answer-ms", "500"})));
  EXPECT_EQ(Download(), 260);
  EXPECT_TRUE(NothingHeld());
  // An upload announcing a flash image larger than its store: nothing is fetched.
  ASSERT_TRUE(Start(Wire({"--mode", "upload", "--flash-size", "131073", "--idle-ms", "500"})));
  EXPECT_EQ(Upload(), 258);
  EXPECT_FALSE(notes.Has(4004));
  EXPECT_EQ(StoredPacked(), std::vector<uint8_t>(131072, 0));
}

TEST_F(UsbSessionFaults, CancelAndAWorkerThatCannotStartHoldNothingAndTheNextDownloadRuns) {
  Dll_PutPackedFlashData(packed.data());
  Dll_PutEepromData(eeprom.data());
  ASSERT_TRUE(
      Start(Wire({"--mode", "download", "--block-size", "1000", "--reboot-delay-ms", "200"})));
  transfer::FailNextThreadStarts(1);
  EXPECT_EQ(Dll_UsbDown(dir.c_str(), notes.handle(), kUsbDownDone), 0);
  EXPECT_TRUE(NothingHeld());
  EXPECT_EQ(transfer::Session().success.load(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "~tmpDown.hvd"));  // written, then removed

  ASSERT_TRUE(RebootAndReopen());
  notes.onNote = [](uint32_t code, intptr_t) {
    if (code == 4006) Dll_CancelUsbFunc();
  };
  EXPECT_EQ(Download(), 260);
  notes.onNote = nullptr;
  EXPECT_TRUE(NothingHeld());

  ASSERT_TRUE(RebootAndReopen());
  EXPECT_EQ(Download(5013), 259);
  EXPECT_TRUE(ReceiverEnded(true));
}

TEST_F(UsbSessionFaults, PercentagesAndTheFailureCountOfEachSession) {
  Dll_PutPackedFlashData(packed.data());
  Dll_PutEepromData(eeprom.data());
  // A receiver that answers the opening and then never speaks: three failed reads end it.
  pw::usb::SetTimeoutPermille(60);
  ASSERT_TRUE(Start(Wire({"--mode", "download", "--silent-after", "1"})));
  EXPECT_EQ(Download(), 260);
  EXPECT_EQ(Dll_GetPercent(1), -1);
  EXPECT_TRUE(ReceiverEnded(true, true));

  // Two failed reads early in the next session: its count starts from 0, not 3. (The answer
  // to the first request comes late, after the download file is written: spoil the second.)
  pw::usb::SetTimeoutPermille(1000);
  ASSERT_TRUE(Start(Wire({"--mode", "download", "--answer-ms", "300", "--corrupt-sum", "3,4"})));
  EXPECT_EQ(Download(), 259);
  EXPECT_TRUE(ReceiverEnded(true));
  EXPECT_EQ(Dll_GetPercent(1), 100);
  EXPECT_EQ(Dll_GetPercent(0), -1);

  // Silent again: a new download's percentage is -1 until its first block.
  pw::usb::SetTimeoutPermille(60);
  ASSERT_TRUE(Start(Wire({"--mode", "download", "--silent-after", "1"})));
  EXPECT_EQ(Download(), 260);
  EXPECT_EQ(Dll_GetPercent(1), -1);
  EXPECT_TRUE(ReceiverEnded(true, true));
  Dll_CloseSerialPort();
  EXPECT_EQ(Dll_GetPercent(0), -1);
}

}  // namespace
}  // namespace testpeer
