// The serial download end to end over a pseudo-terminal, with a hand-rolled receiver.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "queue_sleeper.h"
#include "sample_region.h"
#include "serial_fixture.h"

using namespace std::chrono_literals;
using testpeer::Frame;

namespace {

constexpr uint8_t kRequest = 1, kDownReady = 2, kBlockReq = 4, kBlock = 5, kEnd = 6, kReboot = 11;
constexpr uint32_t kDone = 4003;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> BlockRequest(uint8_t length, uint32_t offset) {
  return {length, static_cast<uint8_t>(offset >> 16), static_cast<uint8_t>(offset >> 8),
          static_cast<uint8_t>(offset)};
}

class SerialDownload : public testpeer::SerialTest {
 protected:
  void SetUp() override {
    SerialTest::SetUp();
    folder = std::filesystem::temp_directory_path() /
             ("pw-down-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder);
    packed = samples::RandomBytes(131072, 7);
    eeprom = samples::RandomBytes(256, 8);
    Dll_PutPackedFlashData(packed.data());
    Dll_PutEepromData(eeprom.data());
    identity = samples::MakeIdentity(0x1234);
  }
  void TearDown() override {
    SerialTest::TearDown();
    std::filesystem::remove_all(folder);
  }
  std::string FilePath() const { return (folder / "~tmpDown.hvd").string(); }
  // Sends the request and checks the answer.
  void Announce(uint8_t psn) {
    peer.SendFrame(psn, kRequest, testpeer::RequestPayload(0x1234, identity));
    auto ready = peer.ReadFrame();
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->cmd, kDownReady);
    EXPECT_EQ(ready->psn, psn);
    EXPECT_TRUE(ready->payload.empty());
  }
  // The download file, once the worker serves it (it answers only after writing it).
  std::vector<uint8_t> ServedFile(uint8_t psn) {
    auto first = Ask(psn, 1, 0);
    EXPECT_TRUE(first);
    return ReadFile(FilePath());
  }
  std::optional<Frame> Ask(uint8_t psn, uint8_t length, uint32_t offset,
                           std::chrono::milliseconds wait = 20s) {
    peer.SendFrame(psn, kBlockReq, BlockRequest(length, offset));
    return peer.ReadFrame(wait);
  }

  std::filesystem::path folder;
  std::vector<uint8_t> packed, eeprom, identity;
};

TEST_F(SerialDownload, ServesBlocksInAndOutOfOrderAndEndsWithSuccess) {
  ASSERT_EQ(Dll_SerialDown(folder.c_str(), notes.handle(), kDone), 1);
  EXPECT_EQ(Dll_GetPercent(1), -1);
  std::vector<uint8_t> received;
  RunPeer(kDone, [&] {
    Announce(0x21);
    const std::vector<uint8_t> file = ServedFile(0x22);
    ASSERT_GT(file.size(), 1000u);
    received.assign(file.size(), 0);
    // Out of order first: the tail, then the start, then everything in order.
    const uint32_t size = static_cast<uint32_t>(file.size());
    const uint32_t tail = size - 200;
    auto last = Ask(0x30, 200, tail);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->psn, 0x30);
    EXPECT_EQ(last->cmd, kBlock);
    EXPECT_EQ(last->payload, std::vector<uint8_t>(file.begin() + tail, file.end()));
    // One byte beyond the end: left unanswered.
    EXPECT_FALSE(Ask(0x31, 201, tail, 500ms));
    uint8_t psn = 0x40;
    for (uint32_t offset = 0; offset < size; offset += 255) {
      const auto length = static_cast<uint8_t>(std::min<uint32_t>(255, size - offset));
      auto block = Ask(psn, length, offset);
      ASSERT_TRUE(block);
      ASSERT_EQ(block->psn, psn);
      ASSERT_EQ(block->cmd, kBlock);
      std::copy(block->payload.begin(), block->payload.end(), received.begin() + offset);
      ++psn;
    }
    EXPECT_EQ(received, file);
    peer.SendFrame(psn, kEnd);
  });
  const auto percents = notes.Values(4006);
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(percents.back(), 100);
  for (size_t i = 0; i + 1 < percents.size(); ++i) EXPECT_LE(percents[i], 99);
  EXPECT_EQ(notes.seen().back(), testpeer::Note(kDone, 3));
  EXPECT_EQ(Dll_GetPercent(1), 100);
  uint8_t model[32];
  Dll_GetModelId(model);
  EXPECT_EQ(std::vector<uint8_t>(model, model + 32), identity);
  EXPECT_EQ(Dll_GetSystemId(), 0x1234);
  // The session released the busy flag: a new download may start on the same port.
  EXPECT_FALSE(transfer::Session().Busy());
  EXPECT_FALSE(std::filesystem::exists(FilePath()));  // removed before the completion notice
}

// The program's end of a download: on the completion notice it sends the reboot request and
// closes the port at once. The receiver gets the frame whole every time, never just its magic.
TEST_F(SerialDownload, TheRebootRequestAfterTheEndArrivesWholeEveryTime) {
  int32_t rebooted = 1;
  notes.onNote = [&](uint32_t code, intptr_t value) {
    if (code != kDone) return;
    rebooted = value == 3 ? Dll_AutoReboot() : 1;
    Dll_CloseSerialPort();
  };
  const std::vector<uint8_t> reboot = testpeer::EncodeFrame(0, kReboot, {});
  for (size_t round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    if (round > 0) {
      ASSERT_EQ(Dll_OpenSerialPort(peer.SlavePath().c_str(), 115200, 0), 1);
    }
    ASSERT_EQ(Dll_SerialDown(folder.c_str(), notes.handle(), kDone), 1);
    std::vector<uint8_t> afterEnd;
    std::thread receiver([&] {
      const auto psn = static_cast<uint8_t>(2 * round);
      Announce(psn);
      peer.SendFrame(psn + 1, kEnd);
      afterEnd = peer.ReadBytes(reboot.size(), 10s);
    });
    EXPECT_TRUE(notes.PumpUntil([&] { return notes.Values(kDone).size() > round; }));
    receiver.join();
    EXPECT_EQ(notes.Values(kDone).back(), 3);
    EXPECT_EQ(rebooted, 0);
    EXPECT_EQ(afterEnd, reboot);
    EXPECT_FALSE(std::filesystem::exists(FilePath()));
  }
}

TEST_F(SerialDownload, EndRightAfterRequestSucceedsButEndBeforeRequestIsIgnored) {
  ASSERT_EQ(Dll_SerialDown(folder.c_str(), notes.handle(), kDone), 1);
  RunPeer(kDone, [&] {
    peer.SendFrame(1, kEnd);             // before any request: no success without a download
    EXPECT_FALSE(Ask(2, 16, 0, 300ms));  // and no block before a request either
    Announce(3);
    peer.SendFrame(4, kEnd);
  });
  ASSERT_EQ(notes.seen().size(), 2u);
  EXPECT_EQ(notes.seen()[0], testpeer::Note(4006, 100));
  EXPECT_EQ(notes.seen()[1], testpeer::Note(kDone, 3));
}

TEST_F(SerialDownload, NoiseBadSumsShortAndUnknownFramesAreSkipped) {
  ASSERT_EQ(Dll_SerialDown(folder.c_str(), notes.handle(), kDone), 1);
  RunPeer(kDone, [&] {
    peer.Write({0x00, 'H', 0x17, 0xFF});                                         // noise, a stray H
    peer.SendFrame(1, kRequest, testpeer::RequestPayload(0x1234, identity), 1);  // bad SUM
    peer.SendFrame(1, kRequest, {0x12, 0x34, 0x01});  // too short to carry an identity
    Announce(2);
    const std::vector<uint8_t> file = ServedFile(2);
    peer.SendFrame(3, kBlockReq, {16, 0, 0});  // a block request without its offset
    EXPECT_FALSE(peer.ReadFrame(300ms));
    auto block = Ask(4, 16, 0);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->payload, std::vector<uint8_t>(file.begin(), file.begin() + 16));
    peer.SendFrame(5, 0x55);             // unknown command: block requests wait again
    EXPECT_FALSE(Ask(6, 16, 0, 300ms));  // for the next request
    Announce(7);
    EXPECT_TRUE(Ask(8, 16, 16));
    peer.SendFrame(9, kEnd);
  });
  EXPECT_EQ(notes.seen().back(), testpeer::Note(kDone, 3));
}

TEST_F(SerialDownload, ClosingThePortMidSessionGivesResultFour) {
  notes.onNote = [](uint32_t code, intptr_t) {
    if (code == 4006) Dll_CloseSerialPort();  // the handler closes the port, as the program may
  };
  ASSERT_EQ(Dll_SerialDown(folder.c_str(), notes.handle(), kDone), 1);
  RunPeer(kDone, [&] {
    Announce(1);
    // The close purges the line, so the answer itself may or may not reach this end.
    peer.SendFrame(2, kBlockReq, BlockRequest(100, 0));
  });
  EXPECT_EQ(notes.Values(4006), std::vector<intptr_t>{0});
  EXPECT_EQ(notes.seen().back(), testpeer::Note(kDone, 4));
  EXPECT_EQ(Dll_GetPercent(1), -1);
  EXPECT_FALSE(transfer::Session().Busy());
  EXPECT_FALSE(std::filesystem::exists(FilePath()));  // a failed session removes it too
}

TEST_F(SerialDownload, ClosingWhileWaitingForTheRequestGivesResultFour) {
  ASSERT_EQ(Dll_SerialDown(folder.c_str(), notes.handle(), kDone), 1);
  ASSERT_TRUE(testpeer::WaitForSleeper(transfer::CurrentSerialLink()->m_QueueRead));
  Dll_CloseSerialPort();
  EXPECT_TRUE(notes.WaitFor(kDone, 10s));
  EXPECT_EQ(notes.seen(), std::vector<testpeer::Note>{testpeer::Note(kDone, 4)});
}

TEST_F(SerialDownload, AFileThatCannotBeWrittenEndsWithResultFourAfterSeventeen) {
  const std::string missing = (folder / "no" / "such" / "folder").string();
  ASSERT_EQ(Dll_SerialDown(missing.c_str(), notes.handle(), kDone), 1);
  RunPeer(kDone, [&] { Announce(1); });
  ASSERT_EQ(notes.seen().size(), 2u);
  EXPECT_EQ(notes.seen()[0], testpeer::Note(17, 0));
  EXPECT_EQ(notes.seen()[1], testpeer::Note(kDone, 4));
  EXPECT_FALSE(transfer::Session().Busy());
}

}  // namespace
