// The serial upload end to end over a pseudo-terminal, with a hand-rolled receiver that
// serves two images and can spoil its answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>

#include "queue_sleeper.h"
#include "sample_region.h"
#include "serial_fixture.h"

using namespace std::chrono_literals;
using testpeer::Frame;

namespace {

constexpr uint8_t kRequest = 1, kUpReady = 3, kBlockReq = 4, kBlock = 5, kEnd = 6, kSizeReq = 7,
                  kSize = 8;
constexpr uint32_t kDone = 4002;

std::vector<uint8_t> Size24(uint32_t size) {
  return {static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 8),
          static_cast<uint8_t>(size)};
}

// The receiver's side of an upload. Faults are keyed by the index of the request they spoil.
struct Receiver {
  Receiver(testpeer::PtyPeer& p, std::vector<uint8_t> f, std::vector<uint8_t> e)
      : peer(p), flash(std::move(f)), eeprom(std::move(e)) {}
  testpeer::PtyPeer& peer;
  std::vector<uint8_t> flash, eeprom;
  std::map<size_t, char> faults;  // 's' bad SUM, 'p' stale PSN, 'x' short block, 'd' dropped
  uint32_t flashSize = 0;         // announced size, when not the image's
  std::vector<Frame> requests;    // every frame the host sent after CMD_UP_READY

  // Serves until CMD_END (true) or until nothing comes for a while (false).
  bool Serve(uint8_t requestPsn, std::chrono::milliseconds quiet = 20s) {
    peer.SendFrame(requestPsn, kRequest,
                   testpeer::RequestPayload(0x0BEE, samples::MakeIdentity(0x0BEE)));
    auto ready = peer.ReadFrame();
    if (!ready || ready->cmd != kUpReady || ready->psn != requestPsn) return false;
    uint8_t type = 0;
    for (;;) {
      auto frame = peer.ReadFrame(quiet);
      if (!frame) return false;
      requests.push_back(*frame);
      if (frame->cmd == kEnd) return true;
      const char fault = faults.count(requests.size() - 1) ? faults[requests.size() - 1] : 0;
      if (fault == 'd') continue;
      const uint8_t psn = fault == 'p' ? static_cast<uint8_t>(frame->psn - 1) : frame->psn;
      const int sumDelta = fault == 's' ? 1 : 0;
      if (frame->cmd == kSizeReq) {
        type = frame->payload.at(0);
        const auto size = static_cast<uint32_t>(type == 2 ? (flashSize ? flashSize : flash.size())
                                                          : eeprom.size());
        peer.SendFrame(psn, kSize, Size24(size), sumDelta);
      } else if (frame->cmd == kBlockReq) {
        const std::vector<uint8_t>& image = type == 2 ? flash : eeprom;
        const size_t length = frame->payload.at(0) - (fault == 'x' ? 1 : 0);
        const uint32_t offset = static_cast<uint32_t>(
            frame->payload.at(1) << 16 | frame->payload.at(2) << 8 | frame->payload.at(3));
        std::vector<uint8_t> block(length, 0);
        for (size_t i = 0; i < length && offset + i < image.size(); ++i)
          block[i] = image[offset + i];
        peer.SendFrame(psn, kBlock, block, sumDelta);
      }
    }
  }
};

class SerialUpload : public testpeer::SerialTest {
 protected:
  std::vector<uint8_t> Packed() {
    std::vector<uint8_t> out(131072);
    Dll_GetPackedFlashData(out.data());
    return out;
  }
  std::vector<uint8_t> Eeprom() {
    std::vector<uint8_t> out(256);
    Dll_GetEepromData(out.data());
    return out;
  }
};

TEST_F(SerialUpload, FetchesBothImagesWithSequenceNumbersFromTheRequest) {
  Receiver rx(peer, samples::RandomBytes(131072, 1), samples::RandomBytes(256, 2));
  ASSERT_EQ(Dll_SerialUp(notes.handle(), kDone), 1);
  bool ended = false;
  RunPeer(kDone, [&] { ended = rx.Serve(10); });
  ASSERT_TRUE(ended);
  EXPECT_EQ(notes.seen().back(), testpeer::Note(kDone, 1));
  EXPECT_EQ(Packed(), rx.flash);
  EXPECT_EQ(Eeprom(), rx.eeprom);
  EXPECT_EQ(Dll_GetSystemId(), 0x0BEE);
  // 1 size query + 515 blocks, 1 size query + 2 blocks, CMD_END; PSNs from 11 on, wrapping.
  ASSERT_EQ(rx.requests.size(), 1u + 515 + 1 + 2 + 1);
  for (size_t i = 0; i < rx.requests.size(); ++i)
    ASSERT_EQ(rx.requests[i].psn, static_cast<uint8_t>(11 + i)) << i;
  EXPECT_EQ(rx.requests[0].cmd, kSizeReq);
  EXPECT_EQ(rx.requests[0].payload, std::vector<uint8_t>{2});
  EXPECT_EQ(rx.requests[1].payload, (std::vector<uint8_t>{255, 0, 0, 0}));
  EXPECT_EQ(rx.requests[515].payload, (std::vector<uint8_t>{2, 0x01, 0xFF, 0xFE}));
  EXPECT_EQ(rx.requests[516].payload, std::vector<uint8_t>{3});
  EXPECT_EQ(rx.requests[517].payload, (std::vector<uint8_t>{255, 0, 0, 0}));
  EXPECT_EQ(rx.requests[518].payload, (std::vector<uint8_t>{1, 0, 0, 255}));
  EXPECT_EQ(notes.Values(4005), (std::vector<intptr_t>{99, 100}));
  const auto flash = notes.Values(4004);
  ASSERT_EQ(flash.size(), 515u);
  EXPECT_EQ(flash.back(), 100);
  EXPECT_TRUE(std::is_sorted(flash.begin(), flash.end()));
  // The session keeps the busy flag until the port is closed.
  EXPECT_EQ(Dll_SerialDown("", notes.handle(), 4003), 0);
  EXPECT_EQ(Dll_GetPercent(0), 100);
  // The operator's "Yes" to rebooting: the request, then the port's close at once. The
  // receiver gets the frame whole.
  EXPECT_EQ(Dll_AutoReboot(), 0);
  Dll_CloseSerialPort();
  EXPECT_EQ(peer.ReadBytes(8, 10s), testpeer::EncodeFrame(0, 11, {}));
  EXPECT_EQ(Dll_GetPercent(0), -1);
}

TEST_F(SerialUpload, RetriesAfterABadSumAStalePsnOrAShortBlock) {
  Receiver rx(peer, samples::RandomBytes(131072, 3), samples::RandomBytes(256, 4));
  rx.faults = {{0, 'p'}, {2, 's'}, {4, 'x'}, {5, 'x'}, {520, 's'}};
  ASSERT_EQ(Dll_SerialUp(notes.handle(), kDone), 1);
  RunPeer(kDone, [&] { EXPECT_TRUE(rx.Serve(250)); });
  EXPECT_EQ(notes.seen().back(), testpeer::Note(kDone, 1));
  EXPECT_EQ(Packed(), rx.flash);
  EXPECT_EQ(Eeprom(), rx.eeprom);
  // Each spoiled answer cost one more request, with a fresh PSN and the same content.
  ASSERT_EQ(rx.requests.size(), 1u + 515 + 1 + 2 + 1 + 5);
  EXPECT_EQ(rx.requests[0].psn, 251);
  EXPECT_EQ(rx.requests[1].cmd, kSizeReq);  // the stale size answer is asked again
  EXPECT_EQ(rx.requests[1].psn, 252);
  EXPECT_EQ(rx.requests[3].payload, rx.requests[2].payload);  // after the bad SUM
  EXPECT_EQ(rx.requests[6].payload, rx.requests[4].payload);  // after two short blocks
  EXPECT_EQ(rx.requests[5].payload, rx.requests[4].payload);
}

TEST_F(SerialUpload, AFailedFlashStepSkipsTheEepromButStillEnds) {
  Receiver rx(peer, samples::RandomBytes(131072, 5), samples::RandomBytes(256, 6));
  rx.faults = {{1, 'x'}, {2, 'x'}, {3, 'x'}};  // the first block is short three times
  ASSERT_EQ(Dll_SerialUp(notes.handle(), kDone), 1);
  RunPeer(kDone, [&] { EXPECT_TRUE(rx.Serve(0)); });
  EXPECT_EQ(notes.seen().back(), testpeer::Note(kDone, 2));
  ASSERT_EQ(rx.requests.size(), 5u);
  EXPECT_EQ(rx.requests[4].cmd, kEnd);
  for (const Frame& f : rx.requests) EXPECT_FALSE(f.cmd == kSizeReq && f.payload.at(0) == 3);
  EXPECT_FALSE(notes.Has(4004));
}

TEST_F(SerialUpload, AnAnnouncedSizeBeyondTheStoreFailsTheStep) {
  Receiver rx(peer, samples::RandomBytes(131072, 5), samples::RandomBytes(256, 6));
  rx.flashSize = 131073;
  ASSERT_EQ(Dll_SerialUp(notes.handle(), kDone), 1);
  RunPeer(kDone, [&] { EXPECT_TRUE(rx.Serve(0)); });
  EXPECT_EQ(notes.seen().back(), testpeer::Note(kDone, 2));
  ASSERT_EQ(rx.requests.size(), 2u);  // the size query, then CMD_END: no block was asked for
  EXPECT_EQ(rx.requests[1].cmd, kEnd);
  EXPECT_EQ(Packed(), std::vector<uint8_t>(131072, 0));
}

TEST_F(SerialUpload, AnAnswerThatNeverComesFailsAfterTheWait) {
  transfer::SetAnswerWait(300ms);
  Receiver rx(peer, samples::RandomBytes(131072, 5), samples::RandomBytes(256, 6));
  rx.faults = {{0, 'd'}};  // the size query is never answered
  ASSERT_EQ(Dll_SerialUp(notes.handle(), kDone), 1);
  RunPeer(kDone, [&] { EXPECT_TRUE(rx.Serve(0)); });
  EXPECT_EQ(notes.seen().back(), testpeer::Note(kDone, 2));
  ASSERT_EQ(rx.requests.size(), 2u);
  EXPECT_EQ(rx.requests[1].cmd, kEnd);
}

TEST_F(SerialUpload, ClosingBeforeTheRequestEndsWithoutNotice) {
  ASSERT_EQ(Dll_SerialUp(notes.handle(), kDone), 1);
  ASSERT_TRUE(testpeer::WaitForSleeper(transfer::CurrentSerialLink()->m_QueueRead));
  Dll_CloseSerialPort();
  EXPECT_TRUE(notes.PumpUntil([] { return transfer::LiveSerialWorkers() == 0; }, 10s));
  EXPECT_TRUE(notes.seen().empty());
  EXPECT_EQ(transfer::Session().serialUploadGuard.load(), 0);
}

TEST_F(SerialUpload, ANewSessionStartedDuringTheOldWorkersPauseHearsNothingOfIt) {
  Receiver rx(peer, samples::RandomBytes(131072, 7), samples::RandomBytes(256, 8));
  ASSERT_EQ(Dll_SerialUp(notes.handle(), kDone), 1);
  // At its last progress notice the worker is about to send CMD_END and pause 300 ms before
  // its completion notice: the program closes the port and starts the next upload.
  bool restarted = false;
  notes.onNote = [&](uint32_t code, intptr_t value) {
    if (code != 4005 || value != 100) return;
    Dll_CloseSerialPort();
    ASSERT_EQ(Dll_OpenSerialPort(peer.SlavePath().c_str(), 115200, 0), 1);
    restarted = Dll_SerialUp(notes.handle(), 5002) == 1;
  };
  std::thread receiver([&] { rx.Serve(10, 2s); });  // no CMD_END comes: its port was closed
  // The old worker ends; the new one still waits for its request, holding its guard.
  EXPECT_TRUE(notes.PumpUntil(
      [&] {
        return restarted && transfer::LiveSerialWorkers() == 1 &&
               transfer::Session().serialUploadGuard.load() != 0;
      },
      30s));
  receiver.join();
  EXPECT_FALSE(notes.Has(kDone));
  EXPECT_FALSE(notes.Has(5002));
}

}  // namespace
