// The file tasks against the emulated receiver's file store: files byte for byte with their
// time and read-only attribute in both byte orders and packet sizes, the blocks around the
// block length, command packets on the wire, start positions, one task at a time, refusals.
#include <sys/stat.h>

#include <fstream>

#include "file_task_fixture.h"
#include "penwick/detached_thread.hpp"

namespace hvusb_test {
namespace {

namespace fs = std::filesystem;

// 2021-06-15 08:45:30 UTC: 13:45:30 local, MJD 59380.
constexpr std::time_t kSomeTime = 1623746730;

struct Mode {
  const char* version;
  const char* packet;
};

class FileTaskModes : public FileTaskReceiver, public ::testing::WithParamInterface<Mode> {};

TEST_P(FileTaskModes, SendAndReceiveKeepBytesTimeAndReadOnly) {
  ASSERT_TRUE(Start({"--bcd-device", GetParam().version, "--max-packet", GetParam().packet}));
  const Bytes content = RandomBytes(3 * 65024 + 1001, 1);
  const fs::path local = dir / "local.bin";
  WriteBytes(local, content);
  SetModified(local, kSomeTime);
  chmod(local.c_str(), 0444);

  ASSERT_EQ(UsbTaskFileSend("stored.bin", local.c_str(), window->handle(), kTaskDone), 1);
  EXPECT_EQ(Await(), 1);
  EXPECT_EQ(UsbTaskGetPercent(), 100);
  EXPECT_EQ(ReadBytes(store / "stored.bin"), content);
  EXPECT_EQ(ModifiedAt(store / "stored.bin"), kSomeTime);
  EXPECT_FALSE(OwnerCanWrite(store / "stored.bin"));

  const fs::path back = dir / "back.bin";
  ASSERT_EQ(UsbTaskFileReceive(back.c_str(), "stored.bin", window->handle(), kTaskDone), 1);
  EXPECT_EQ(Await(), 1);
  EXPECT_EQ(UsbTaskGetPercent(), 100);
  EXPECT_EQ(ReadBytes(back), content);
  EXPECT_EQ(ModifiedAt(back), kSomeTime);
  EXPECT_FALSE(OwnerCanWrite(back));
  EXPECT_EQ(FinishSim(), "SIM OK files: 1 stored, 1 served");
}

INSTANTIATE_TEST_SUITE_P(ByteOrderAndPacketSize, FileTaskModes,
                         ::testing::Values(Mode{"0100", "64"}, Mode{"0100", "512"},
                                           Mode{"0200", "64"}, Mode{"0200", "512"}),
                         [](const auto& test) {
                           return std::string("v") + test.param.version + "_" + test.param.packet;
                         });

TEST_F(FileTaskReceiver, SizesAroundTheBlockLengthAndTimesAsLocalTime) {
  ASSERT_TRUE(Start({"--bcd-device", "0200", "--max-packet", "512"}));
  for (const size_t size : {size_t{0}, size_t{1}, size_t{65024}, size_t{65025}, size_t{3000007}}) {
    SCOPED_TRACE(size);
    const Bytes content = RandomBytes(size, static_cast<uint32_t>(size));
    const std::string name = "f" + std::to_string(size);
    WriteBytes(dir / name, content);
    SetModified(dir / name, kSomeTime);
    ASSERT_EQ(UsbTaskFileSend(name.c_str(), (dir / name).c_str(), window->handle(), kTaskDone), 1);
    EXPECT_EQ(Await(), 1);
    EXPECT_EQ(ReadBytes(store / name), content);
    const fs::path back = dir / ("back-" + name);
    ASSERT_EQ(UsbTaskFileReceive(back.c_str(), name.c_str(), window->handle(), kTaskDone), 1);
    EXPECT_EQ(Await(), 1);
    EXPECT_EQ(ReadBytes(back), content);
    EXPECT_EQ(ModifiedAt(back), kSomeTime);
  }
  const auto log = Log();
  // The time travels as local time; blocks are 65,024 bytes, the end follows a short block
  // or an empty read.
  EXPECT_TRUE(
      InOrder(log, {"<- INFO size=0 mjd=59380 time=13:45:30 type=2 attributes=128", "<- END",
                    "<- INFO size=1 ", "<- DATA offset=0 length=1", "<- END", "<- INFO size=65024 ",
                    "<- DATA offset=0 length=65024", "<- END", "<- INFO size=65025 ",
                    "<- DATA offset=0 length=65024", "<- DATA offset=65024 length=1", "<- END"}));
  EXPECT_EQ(Count(log, "<- DATA"), 0u + 1 + 1 + 2 + 47);
  EXPECT_EQ(Count(log, "-> DATA"), 0u + 1 + 1 + 2 + 47);

  // A date the information cannot carry (beyond 2038) arrives as date 0: 1 January 2003 at
  // the time of day that came with it.
  const std::time_t future = 2524635296;  // 2050-01-01 07:34:56 UTC, 12:34:56 local
  WriteBytes(store / "future.bin", {1, 2, 3});
  SetModified(store / "future.bin", future);
  ASSERT_EQ(
      UsbTaskFileReceive((dir / "future.bin").c_str(), "future.bin", window->handle(), kTaskDone),
      1);
  EXPECT_EQ(Await(), 1);
  const std::tm got = Local(ModifiedAt(dir / "future.bin"));
  EXPECT_EQ(got.tm_year + 1900, 2003);
  EXPECT_EQ(got.tm_mon, 0);
  EXPECT_EQ(got.tm_mday, 1);
  EXPECT_EQ(got.tm_hour * 3600 + got.tm_min * 60 + got.tm_sec, 12 * 3600 + 34 * 60 + 56);
  EXPECT_EQ(FinishSim(), "SIM OK files: 5 stored, 6 served");
}

TEST_F(FileTaskReceiver, CommandPacketsOnTheWire) {
  const fs::path trace = dir / "trace";
  ASSERT_TRUE(Start({"--bcd-device", "0200", "--max-packet", "64", "--trace", trace.string()}));
  EXPECT_EQ(UsbCommandSend(2, nullptr, 0), 1u);
  const Bytes payload(65528, 0x61);
  EXPECT_EQ(UsbCommandSend(0x77, payload.data(), 65527), 1u);
  EXPECT_EQ(UsbCommandSend(0x77, payload.data(), 65528), 0u);
  EXPECT_EQ(UsbCommandSend(0x77, nullptr, 1), 0u);
  FinishSim();
  std::ifstream in(trace);
  std::vector<std::string> outs;
  for (std::string line; std::getline(in, line);) {
    if (line.find(" out ") != std::string::npos) outs.push_back(line.substr(line.find("length=")));
  }
  ASSERT_EQ(outs.size(), 2u);
  EXPECT_TRUE(outs[0].starts_with("length=64 data=00 08 c1 81 00 00 00 02 ")) << outs[0];
  EXPECT_TRUE(outs[1].starts_with("length=65536 data=ff ff ")) << outs[1];
}

TEST_F(FileTaskReceiver, SendFromAStartPositionOneTaskAtATime) {
  ASSERT_TRUE(Start({"--bcd-device", "0200", "--max-packet", "512"}));
  const Bytes content = RandomBytes(300000, 4);
  const fs::path local = dir / "whole.bin";
  WriteBytes(local, content);
  // The receiver holds the start of the file already, as after an interrupted send.
  WriteBytes(store / "part.bin", Bytes(content.begin(), content.begin() + 100000));
  WriteBytes(store / "second.bin", Bytes(content.begin(), content.begin() + 200000));
  // The completion handler starts the next resumed send at once; it keeps its own position.
  int chained = -1;
  onDone = [&] {
    if (results.size() == 1) {
      chained =
          UsbTaskFileSendPosi("second.bin", local.c_str(), window->handle(), kTaskDone, 0, 200000);
    }
  };
  // A task whose worker cannot start is refused and holds nothing: the same task then runs.
  pw::FailNextThreadStarts(1);
  EXPECT_EQ(UsbTaskFileSendPosi("part.bin", local.c_str(), window->handle(), kTaskDone, 0, 100000),
            0);
  ASSERT_EQ(UsbTaskFileSendPosi("part.bin", local.c_str(), window->handle(), kTaskDone, 0, 100000),
            1);
  // While it runs every other task call is refused and changes nothing.
  EXPECT_EQ(UsbTaskFileSend("other.bin", local.c_str(), window->handle(), kTaskDone), 0);
  EXPECT_EQ(
      UsbTaskFileReceivePosi((dir / "x").c_str(), "part.bin", window->handle(), kTaskDone, 0, 7),
      0);
  EXPECT_EQ(Await(), 1);
  EXPECT_EQ(chained, 1);
  EXPECT_EQ(Await(), 1);
  EXPECT_EQ(ReadBytes(store / "part.bin"), content);
  EXPECT_EQ(ReadBytes(store / "second.bin"), content);
  EXPECT_FALSE(fs::exists(dir / "x"));
  EXPECT_TRUE(InOrder(
      Log(), {"<- REQUEST send \"part.bin\"", "<- INFO size=300000",
              "<- DATA offset=100000 length=65024", "<- END", "<- REQUEST send \"second.bin\"",
              "<- INFO size=300000", "<- DATA offset=200000 length=65024", "<- END"}));
  // Send requests never carry the position: the receiver checks their length.
  EXPECT_EQ(FinishSim(), "SIM OK files: 2 stored, 0 served");
}

TEST_F(FileTaskReceiver, RefusalsOnAVersionOneReceiver) {
  ASSERT_TRUE(Start({"--bcd-device", "0100", "--max-packet", "64"}));
  const fs::path local = dir / "keep.bin";
  WriteBytes(local, {1, 2, 3});
  SetModified(local, kSomeTime);
  EXPECT_EQ(UsbTaskCancel(), 0);
  EXPECT_EQ(UsbTaskFileSendPosi("a", local.c_str(), window->handle(), kTaskDone, 0, 1), 0);
  EXPECT_EQ(UsbTaskFileReceivePosi(local.c_str(), "a", window->handle(), kTaskDone, 0, 1), 0);
  EXPECT_EQ(UsbTaskFileSend("", local.c_str(), window->handle(), kTaskDone), 0);
  EXPECT_EQ(UsbTaskFileReceive(local.c_str(), nullptr, window->handle(), kTaskDone), 0);

  // The receiver has no such file: it refuses, the host answers PKT_FAIL 3, and the local
  // file is untouched.
  ASSERT_EQ(UsbTaskFileReceive(local.c_str(), "missing.bin", window->handle(), kTaskDone), 1);
  EXPECT_EQ(Await(), 0);
  EXPECT_EQ(ReadBytes(local), (Bytes{1, 2, 3}));
  EXPECT_EQ(ModifiedAt(local), kSomeTime);
  // The host's last packet has surely been taken once the receiver has stopped.
  EXPECT_EQ(FinishSim(), "SIM OK files: 0 stored, 0 served; host PKT_FAIL 3");
  EXPECT_TRUE(InOrder(
      Log(), {"<- REQUEST receive \"missing.bin\"", "-> FAIL reason=2", "<- FAIL reason=3"}));
}

TEST_F(FileTaskReceiver, RemovalMidFileThenResumeFromThePartReceived) {
  ASSERT_TRUE(
      Start({"--bcd-device", "0200", "--max-packet", "512", "--files-fault", "disconnect@3"}));
  const Bytes content = RandomBytes(200000, 5);
  WriteBytes(store / "big.bin", content);
  SetModified(store / "big.bin", kSomeTime);
  const fs::path local = dir / "big.bin";
  // Packets: the information, the first block, then the device drops off the bus.
  ASSERT_EQ(UsbTaskFileReceive(local.c_str(), "big.bin", window->handle(), kTaskDone), 1);
  EXPECT_EQ(Await(), 0);
  EXPECT_EQ(ReadBytes(local), Bytes(content.begin(), content.begin() + 65024));
  ASSERT_TRUE(PumpUntil([&] { return removals == 1 && open; }));  // back after its reboot

  ASSERT_EQ(UsbTaskFileReceivePosi(local.c_str(), "big.bin", window->handle(), kTaskDone, 0, 65024),
            1);
  EXPECT_EQ(Await(), 1);
  EXPECT_EQ(ReadBytes(local), content);
  EXPECT_EQ(ModifiedAt(local), kSomeTime);

  // A position past 4 GiB travels as its high and low words; this file is shorter.
  ASSERT_EQ(UsbTaskFileReceivePosi(local.c_str(), "big.bin", window->handle(), kTaskDone, 1, 0), 1);
  EXPECT_EQ(Await(), 0);
  EXPECT_EQ(ReadBytes(local), content);
  EXPECT_EQ(FinishSim(), "SIM OK files: 0 stored, 1 served; fault disconnect@3; host PKT_FAIL 3");
  EXPECT_TRUE(InOrder(
      Log(),
      {"-> DATA offset=0 length=65024", "-> DATA offset=65024 length=65024 not sent: disconnect",
       "<- REQUEST receive \"big.bin\" position=65024", "-> DATA offset=65024 length=65024",
       "-> END", "<- REQUEST receive \"big.bin\" position=4294967296", "-> FAIL reason=9",
       "<- FAIL reason=3"}));
}

}  // namespace
}  // namespace hvusb_test
