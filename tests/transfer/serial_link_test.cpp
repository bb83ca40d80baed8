// Opening and closing the port, the reboot frame, the watch thread, and the rules that tie
// the sessions together.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "frames.h"
#include "sample_region.h"
#include "serial_comm.h"
#include "serial_fixture.h"
#include "worker_threads.h"

using namespace std::chrono_literals;

namespace {

const std::vector<uint8_t> kRebootFrame = {'H', 'a', 'V', 'o', 0x00, 0x0B, 0x00, 0x0B};

TEST(SerialPortExports, OpenFailureThenOpenTwiceThenReopenAtOnce) {
  testpeer::PtyPeer peer;
  EXPECT_EQ(Dll_AutoReboot(), -1);  // closed: nothing written
  EXPECT_EQ(Dll_OpenSerialPort("/dev/no-such-serial-port", 115200, 0), -1);
  ASSERT_EQ(Dll_OpenSerialPort(peer.SlavePath().c_str(), 115200, 0), 1);
  EXPECT_EQ(Dll_OpenSerialPort(peer.SlavePath().c_str(), 115200, 0), 0);
  EXPECT_EQ(Dll_AutoReboot(), 0);  // the port stayed open
  EXPECT_EQ(peer.ReadBytes(8, 10s), kRebootFrame);

  auto link = transfer::CurrentSerialLink();
  ASSERT_TRUE(link);
  EXPECT_TRUE(link->WatchThreadRunning());
  EXPECT_EQ(Dll_CloseSerialPort(), -1);
  EXPECT_EQ(Dll_AutoReboot(), -1);
  // The watch thread leaves its wait and ends by itself; the port opens again at once.
  ASSERT_EQ(Dll_OpenSerialPort(peer.SlavePath().c_str(), 115200, 0), 1);
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (link->WatchThreadRunning() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(5ms);
  EXPECT_FALSE(link->WatchThreadRunning());
  EXPECT_EQ(link->SendPacket(kRebootFrame.data() + 4), -1);  // the old link is closed for good
  EXPECT_EQ(Dll_AutoReboot(), 0);
  EXPECT_EQ(peer.ReadBytes(8, 10s), kRebootFrame);
  Dll_CloseSerialPort();
}

TEST(SerialPortExports, AFailedLineEndsTheWatchThread) {
  auto peer = std::make_unique<testpeer::PtyPeer>();
  ASSERT_EQ(Dll_OpenSerialPort(peer->SlavePath().c_str(), 115200, 0), 1);
  auto link = transfer::CurrentSerialLink();
  peer.reset();  // the other end goes away, as an unplugged adapter does
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (link->WatchThreadRunning() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(5ms);
  EXPECT_FALSE(link->WatchThreadRunning());
  EXPECT_EQ(Dll_AutoReboot(), -1);  // the write fails
  Dll_CloseSerialPort();
}

TEST(SerialPortExports, AWatchThreadThatCannotStartFailsTheOpen) {
  testpeer::PtyPeer peer;
  transfer::FailNextThreadStarts(1);
  EXPECT_EQ(Dll_OpenSerialPort(peer.SlavePath().c_str(), 115200, 0), -1);
  EXPECT_EQ(transfer::Session().portOpen.load(), 0);
  ASSERT_EQ(Dll_OpenSerialPort(peer.SlavePath().c_str(), 115200, 0), 1);
  Dll_CloseSerialPort();
}

using SerialLink = testpeer::SerialTest;

TEST_F(SerialLink, ALongestFrameIs263BytesOnTheLineAndBytesReachTheQueue) {
  uint8_t frame[260] = {0x42, 0x05, 0xFF};
  for (int i = 0; i < 255; ++i) frame[3 + i] = static_cast<uint8_t>(i * 3);
  auto link = transfer::CurrentSerialLink();
  ASSERT_EQ(link->SendPacket(frame), 0);
  const auto line = peer.ReadBytes(264, 300ms);
  ASSERT_EQ(line.size(), 263u);
  EXPECT_EQ(line, testpeer::EncodeFrame(0x42, 0x05, std::vector<uint8_t>(frame + 3, frame + 258)));

  // The peer's bytes arrive in the receive queue, in order.
  const auto sent = samples::RandomBytes(3000, 9);
  peer.Write(sent);
  std::vector<uint8_t> got;
  const auto until = std::chrono::steady_clock::now() + 20s;
  while (got.size() < sent.size() && std::chrono::steady_clock::now() < until) {
    uint8_t b;
    if (link->m_QueueRead.Pop(b))
      got.push_back(b);
    else
      link->m_QueueRead.WaitForData(std::chrono::steady_clock::now() + 100ms, nullptr);
  }
  EXPECT_EQ(got, sent);
}

TEST_F(SerialLink, OneSessionAtATimeAndARefusedStartRedirectsNotifications) {
  testpeer::Notes other;
  ASSERT_EQ(Dll_SerialDown("", notes.handle(), 4003), 1);
  EXPECT_EQ(Dll_GetPercent(1), -1);
  EXPECT_EQ(Dll_SerialUp(other.handle(), 4002), 0);
  EXPECT_EQ(Dll_SerialDown("", other.handle(), 4002), 0);
  std::thread receiver([&] {
    peer.SendFrame(1, 6);  // CMD_END before any request: ignored
    peer.SendFrame(2, 1, testpeer::RequestPayload(0x1234, samples::MakeIdentity(0x1234)));
    EXPECT_TRUE(peer.ReadFrame());
    peer.SendFrame(3, 4, {16, 0, 0, 0});  // answered once the download file is written
    EXPECT_TRUE(peer.ReadFrame());
    EXPECT_TRUE(std::filesystem::exists("~tmpDown.hvd"));  // an empty folder: the current one
    peer.SendFrame(4, 6);
  });
  EXPECT_TRUE(other.WaitFor(4002));
  receiver.join();
  EXPECT_FALSE(std::filesystem::exists("~tmpDown.hvd"));  // removed at the session's end
  EXPECT_TRUE(notes.seen().empty());
  EXPECT_EQ(other.seen().back(), testpeer::Note(4002, 3));  // the download's result, new code
  EXPECT_TRUE(notes.PumpUntil([] { return transfer::LiveSerialWorkers() == 0; }, 10s));
}

TEST_F(SerialLink, CloseLeavesAUsbSessionsBusyFlagAlone) {
  const uint32_t usb = transfer::Session().Acquire(transfer::Link::Usb);
  ASSERT_NE(usb, 0u);
  EXPECT_EQ(Dll_SerialDown("", notes.handle(), 4003), 0);
  Dll_CloseSerialPort();
  EXPECT_TRUE(transfer::Session().Busy());
  ASSERT_EQ(Dll_OpenSerialPort(peer.SlavePath().c_str(), 115200, 0), 1);
  EXPECT_EQ(Dll_SerialUp(notes.handle(), 4002), 0);
  transfer::Session().Release(usb);
  EXPECT_FALSE(transfer::Session().Busy());
}

TEST_F(SerialLink, AWorkerThatCannotStartLeavesNothingSet) {
  transfer::FailNextThreadStarts(1);
  EXPECT_EQ(Dll_SerialDown("", notes.handle(), 4003), 0);
  EXPECT_FALSE(transfer::Session().Busy());
  transfer::FailNextThreadStarts(1);
  EXPECT_EQ(Dll_SerialUp(notes.handle(), 4002), 0);
  EXPECT_FALSE(transfer::Session().Busy());
  EXPECT_EQ(Dll_SerialUp(notes.handle(), 4002), 1);  // nothing was left behind
}

TEST(SerialPortExports, ARefusedUploadStillClearsTheStores) {
  std::vector<uint8_t> image(131072, 0xAB), eeprom(256, 0xCD);
  Dll_PutPackedFlashData(image.data());
  Dll_PutEepromData(eeprom.data());
  EXPECT_EQ(Dll_SerialUp(nullptr, 4002), 0);  // the port is closed
  Dll_GetPackedFlashData(image.data());
  Dll_GetEepromData(eeprom.data());
  EXPECT_EQ(image, std::vector<uint8_t>(131072, 0));
  EXPECT_EQ(eeprom, std::vector<uint8_t>(256, 0));
  EXPECT_EQ(Dll_GetPercent(0), -1);
  EXPECT_EQ(Dll_GetPercent(1), -1);
}

}  // namespace
