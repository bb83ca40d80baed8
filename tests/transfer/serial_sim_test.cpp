// The serial sessions end to end against the emulated receiver (penwick-sim serial as a child
// process on a pseudo-terminal), with faults on the line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sample_region.h"
#include "serial_fixture.h"
#include "sim_process.h"

using namespace std::chrono_literals;

namespace {

class SerialAgainstSim : public ::testing::Test {
 protected:
  void SetUp() override {
    transfer::SetAnswerWait(10s);
    dir = std::filesystem::temp_directory_path() /
          ("pw-sim-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    packed = samples::RandomBytes(131072, 31);
    eeprom = samples::RandomBytes(256, 32);
    Save(dir / "image.pak", packed);
    Save(dir / "eeprom.bin", eeprom);
  }
  void TearDown() override {
    Dll_CloseSerialPort();
    EXPECT_TRUE(notes.PumpUntil([] { return transfer::LiveSerialWorkers() == 0; }, 30s));
    transfer::RecordOwner(nullptr, 0);
    std::filesystem::remove_all(dir);
  }
  static void Save(const std::filesystem::path& path, const std::vector<uint8_t>& data) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
  }
  std::vector<std::string> Images(std::vector<std::string> args) {
    args.insert(args.end(),
                {"--pak", (dir / "image.pak").string(), "--eeprom", (dir / "eeprom.bin").string()});
    return args;
  }
  // Plays the program: open, reboot request, start; returns the completion result.
  intptr_t Run(bool download, uint32_t completion) {
    EXPECT_EQ(Dll_OpenSerialPort(sim.PtyPath().c_str(), 115200, 0), 1);
    EXPECT_EQ(Dll_AutoReboot(), 0);
    const int started = download ? Dll_SerialDown(dir.c_str(), notes.handle(), completion)
                                 : Dll_SerialUp(notes.handle(), completion);
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(notes.WaitFor(completion, 120s));
    const auto results = notes.Values(completion);
    return results.empty() ? -1 : results.back();
  }

  std::filesystem::path dir;
  std::vector<uint8_t> packed, eeprom;
  simtest::SimProcess sim;
  testpeer::Notes notes;
};

TEST_F(SerialAgainstSim, DownloadInShuffledBlocksThroughNoiseAndDamagedFrames) {
  Dll_PutPackedFlashData(packed.data());
  Dll_PutEepromData(eeprom.data());
  ASSERT_TRUE(
      sim.Start(Images({"--mode", "download", "--psn", "7", "--system-id", "0x4321", "--block-size",
                        "200", "--order", "shuffled", "--beyond-end", "--noise", "3",
                        "--corrupt-sum", "4", "--drop", "2", "--answer-ms", "1000"})));
  EXPECT_EQ(Run(true, 4003), 3);
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 0) << last;
  EXPECT_EQ(last.rfind("SIM OK", 0), 0u) << last;
  EXPECT_EQ(Dll_GetSystemId(), 0x4321);
  const auto percents = notes.Values(4006);
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(percents.back(), 100);
}

TEST_F(SerialAgainstSim, UploadWithStaleShortAndDamagedAnswers) {
  ASSERT_TRUE(sim.Start(Images({"--mode", "upload", "--psn", "200", "--stale-psn", "2",
                                "--short-block", "5", "--corrupt-sum", "9", "--noise", "2"})));
  EXPECT_EQ(Run(false, 4002), 1);
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 0) << last;
  EXPECT_EQ(last.rfind("SIM OK", 0), 0u) << last;
  std::vector<uint8_t> gotPacked(131072), gotEeprom(256);
  Dll_GetPackedFlashData(gotPacked.data());
  Dll_GetEepromData(gotEeprom.data());
  EXPECT_EQ(gotPacked, packed);
  EXPECT_EQ(gotEeprom, eeprom);
  EXPECT_EQ(notes.Values(4005), (std::vector<intptr_t>{99, 100}));
}

}  // namespace
