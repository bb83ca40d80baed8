// penwick-sim serial against a PC played by the test with hand-built frames over the real
// pseudo-terminal: the reboot frame, the download the receiver leads, the upload it serves,
// and the faults it injects on request.
#include <PenwickHelpers.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "download_file.h"
#include "sim_process.h"

namespace {

using namespace std::chrono_literals;
using sim::Frame;
using simtest::Host;
using simtest::SimProcess;

const Frame kReboot{0, sim::kCmdReboot, {}};

std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::string path = ::testing::TempDir() + "/" + name + "_" + std::to_string(getpid());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  return path;
}

// penwick-sim serial started with `args`, its pty opened by the PC and the reboot frame sent.
::testing::AssertionResult StartAndReboot(SimProcess& sim, Host& host,
                                          const std::vector<std::string>& args) {
  if (!sim.Start(args)) return ::testing::AssertionFailure() << "penwick-sim named no pty";
  if (!host.Open(sim.PtyPath())) {
    return ::testing::AssertionFailure() << "cannot open " << sim.PtyPath();
  }
  if (!host.Send(kReboot)) return ::testing::AssertionFailure() << "the reboot frame failed";
  return ::testing::AssertionSuccess();
}

struct Fixture {
  std::vector<uint8_t> packed;
  std::vector<uint8_t> eeprom;
  std::string transferFile;

  explicit Fixture(std::vector<uint8_t> p = simtest::SamplePacked(11),
                   std::vector<uint8_t> e = simtest::SampleEeprom(12))
      : packed(std::move(p)), eeprom(std::move(e)) {
    std::vector<uint8_t> bytes(64, 0xEE);  // header, not examined
    bytes.insert(bytes.end(), packed.begin(), packed.end());
    bytes.insert(bytes.end(), eeprom.begin(), eeprom.end());
    transferFile = WriteFile("transfer", bytes);
  }
  ~Fixture() { unlink(transferFile.c_str()); }
};

struct Served {
  int requests = 0;
  int blocks = 0;
  int unanswered = 0;
  int badSums = 0;
  bool ended = false;
  Frame request;
};

// The PC's part of a download: CMD_DOWN_READY to the request, the file's bytes to every block
// request inside the file, no answer to the others, done at CMD_END.
Served ServeDownload(Host& host, const std::vector<uint8_t>& file) {
  Served s;
  Frame f;
  bool bad = false;
  while (!s.ended && host.Receive(&f, 20s, &bad)) {
    if (bad) {
      ++s.badSums;
      continue;
    }
    if (f.cmd == sim::kCmdRequest) {
      ++s.requests;
      s.request = f;
      host.Send(Frame{f.psn, sim::kCmdDownReady, {}});
    } else if (f.cmd == sim::kCmdBlockReq && f.payload.size() == 4) {
      const size_t length = f.payload[0];
      const size_t offset = Get24bit(&f.payload[1]);
      if (offset + length > file.size()) {
        ++s.unanswered;
        continue;
      }
      ++s.blocks;
      host.Send(Frame{f.psn, sim::kCmdBlock,
                      std::vector<uint8_t>(file.begin() + static_cast<long>(offset),
                                           file.begin() + static_cast<long>(offset + length))});
    } else if (f.cmd == sim::kCmdEnd) {
      s.ended = true;
    }
  }
  return s;
}

TEST(SimSerialSide, DownloadInShuffledBlocksVerifiesTheFile) {
  Fixture fx;
  SimProcess sim;
  const std::string saved = ::testing::TempDir() + "/saved_" + std::to_string(getpid());
  Host host;
  ASSERT_TRUE(StartAndReboot(
      sim, host,
      {"--file", fx.transferFile, "--psn", "200", "--system-id", "0x4321", "--block-size", "200",
       "--order", "shuffled", "--seed", "5", "--save", saved}));
  const std::vector<uint8_t> file = simtest::StoredDownloadFile(0x4321, fx.packed, fx.eeprom);
  Served s = ServeDownload(host, file);
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 0) << last;
  EXPECT_EQ(last, "SIM OK download 131386 bytes verified");
  EXPECT_TRUE(s.ended);
  EXPECT_EQ(s.requests, 1);
  EXPECT_EQ(s.request.psn, 200);
  ASSERT_EQ(s.request.payload.size(), 34u);
  EXPECT_EQ(Get16bit(s.request.payload.data()), 0x4321);
  EXPECT_EQ(Get16bit(s.request.payload.data() + 2 + 5), 0x4321);  // inside the model id
  // Header, six chunk lengths, then ceil(131386 / 200) blocks.
  EXPECT_EQ(s.blocks, 1 + 6 + 657);
  EXPECT_EQ(s.badSums, 0);
  std::ifstream in(saved, std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), file);
  unlink(saved.c_str());
}

TEST(SimSerialSide, DownloadOfCodedChunksIsExpandedAndVerified) {
  Fixture fx(simtest::RealisticPacked(4, 0x1234), std::vector<uint8_t>(256, 0xFF));
  const std::vector<uint8_t> file = simtest::CodedDownloadFile(0x1234, fx.packed, fx.eeprom);
  SimProcess sim;
  Host host;
  ASSERT_TRUE(StartAndReboot(
      sim, host, {"--file", fx.transferFile, "--order", "reverse", "--block-size", "7"}));
  Served s = ServeDownload(host, file);
  EXPECT_EQ(s.blocks, static_cast<int>(7 + (file.size() + 6) / 7));
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 0) << last;
  EXPECT_EQ(last, "SIM OK download " + std::to_string(file.size()) + " bytes verified");
}

TEST(SimSerialSide, DownloadReportsWhereTheFileDiffers) {
  Fixture fx;
  SimProcess sim;
  Host host;
  ASSERT_TRUE(StartAndReboot(sim, host, {"--file", fx.transferFile, "--order", "reverse"}));
  std::vector<uint8_t> packed = fx.packed;
  packed[100000] ^= 0x40;
  ServeDownload(host, simtest::StoredDownloadFile(0x1234, packed, fx.eeprom));
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 1);
  EXPECT_EQ(last, "SIM FAIL download file of 131386 bytes: packed image differs at byte 100000");
}

TEST(SimSerialSide, DownloadFaultsAreInjectedAndSurvived) {
  Fixture fx;
  SimProcess sim;
  // The 3rd frame (the request for the first chunk length) arrives damaged and is asked for
  // again; noise precedes every frame; one request ends past the end of the file.
  ASSERT_TRUE(sim.Start({"--file", fx.transferFile, "--corrupt-sum", "3", "--noise", "7",
                         "--beyond-end", "--drop", "4", "--answer-ms", "1500"}));
  Host host;
  ASSERT_TRUE(host.Open(sim.PtyPath()));
  ASSERT_TRUE(host.SendRaw({'x', 'H', 'a'}));  // noise before the reboot frame is ignored
  ASSERT_TRUE(host.Send(kReboot));
  Served s = ServeDownload(host, simtest::StoredDownloadFile(0x1234, fx.packed, fx.eeprom));
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 0) << last;
  // Two requests went again (the damaged one, the dropped answer); a slow machine may add more.
  const std::string ok = "SIM OK download 131386 bytes verified, ";
  ASSERT_EQ(last.rfind(ok, 0), 0u) << last;
  EXPECT_GE(std::stoi(last.substr(ok.size())), 2) << last;
  EXPECT_EQ(s.badSums, 1);
  EXPECT_EQ(s.unanswered, 1);
  EXPECT_GE(host.Noise(), 7u * 500);
}

TEST(SimSerialSide, DownloadFailsWhenThePcAnswersPastTheEnd) {
  Fixture fx;
  SimProcess sim;
  Host host;
  ASSERT_TRUE(StartAndReboot(sim, host,
                             {"--file", fx.transferFile, "--beyond-end", "--answer-ms", "1500"}));
  std::vector<uint8_t> file = simtest::StoredDownloadFile(0x1234, fx.packed, fx.eeprom);
  std::vector<uint8_t> padded = file;
  padded.push_back(0);  // a PC that serves one byte too many
  Served s = ServeDownload(host, padded);
  (void)s;
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 1);
  EXPECT_NE(last.find("past the end of the file"), std::string::npos) << last;
}

struct Fetched {
  bool ok = true;
  std::vector<uint8_t> packed, eeprom;
  int refused = 0;
};

// The PC's part of an upload, with three tries per query as the host does it.
Fetched FetchUpload(Host& host, uint8_t* lastPsn) {
  Fetched out;
  Frame f;
  bool bad = false;
  if (!host.Receive(&f, 20s, &bad) || bad || f.cmd != sim::kCmdRequest) {
    out.ok = false;
    return out;
  }
  uint8_t counter = f.psn;
  host.Send(Frame{f.psn, sim::kCmdUpReady, {}});
  auto ask = [&](uint8_t cmd, std::vector<uint8_t> payload, uint8_t want, size_t len,
                 Frame* answer) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      host.Send(Frame{++counter, cmd, payload});
      if (!host.Receive(answer, 4s, &bad)) return false;  // an answer that never comes
      if (!bad && answer->psn == counter && answer->cmd == want &&
          (len == 0 || answer->payload.size() == len))
        return true;
      ++out.refused;
    }
    return false;
  };
  for (uint8_t type : {uint8_t{2}, uint8_t{3}}) {
    Frame a;
    if (!ask(sim::kCmdSizeReq, {type}, sim::kCmdSize, 3, &a)) {
      out.ok = false;
      break;
    }
    const uint32_t size = Get24bit(a.payload.data());
    std::vector<uint8_t>& into = type == 2 ? out.packed : out.eeprom;
    for (uint32_t o = 0; o < size && out.ok;) {
      const uint32_t chunk = std::min<uint32_t>(255, size - o);
      std::vector<uint8_t> req(4);
      req[0] = static_cast<uint8_t>(chunk);
      Put24bit(&req[1], o);
      if (!ask(sim::kCmdBlockReq, req, sim::kCmdBlock, chunk, &a)) out.ok = false;
      into.insert(into.end(), a.payload.begin(), a.payload.end());
      o += chunk;
    }
    if (!out.ok) break;
  }
  host.Send(Frame{++counter, sim::kCmdEnd, {}});
  *lastPsn = counter;
  return out;
}

TEST(SimSerialSide, UploadServesBothImagesWithFaults) {
  Fixture fx;
  SimProcess sim;
  Host host;
  ASSERT_TRUE(
      StartAndReboot(sim, host,
                     {"--mode", "upload", "--file", fx.transferFile, "--psn", "250", "--stale-psn",
                      "1", "--short-block", "3", "--corrupt-sum", "9", "--noise", "3"}));
  uint8_t lastPsn = 0;
  Fetched got = FetchUpload(host, &lastPsn);
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 0) << last;
  EXPECT_EQ(last, "SIM OK upload 131328 bytes served");
  EXPECT_TRUE(got.ok);
  EXPECT_EQ(got.refused, 3);
  EXPECT_EQ(got.packed, fx.packed);
  EXPECT_EQ(got.eeprom, fx.eeprom);
  // 250 + 2 size queries + 515 + 2 blocks + 3 repeats + CMD_END, modulo 256.
  EXPECT_EQ(lastPsn, static_cast<uint8_t>(250 + 2 + 517 + 3 + 1));
}

TEST(SimSerialSide, UploadDroppedAnswerEndsEarlyAndIsReported) {
  Fixture fx;
  SimProcess sim;
  Host host;
  ASSERT_TRUE(
      StartAndReboot(sim, host, {"--mode", "upload", "--file", fx.transferFile, "--drop", "4"}));
  uint8_t lastPsn = 0;
  Fetched got = FetchUpload(host, &lastPsn);
  EXPECT_FALSE(got.ok);
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 1);
  // Size and two blocks of 255 were served before the third block's answer was lost.
  EXPECT_EQ(last, "SIM FAIL CMD_END after 510 of 131328 bytes");
}

TEST(SimSerialSide, UploadFaultListHitsEveryRetryUntilTheStepFails) {
  Fixture fx;
  SimProcess sim;
  Host host;
  // The third block answer and the answers to both retries are short: the PC gives up the
  // flash step and ends without asking for the EEPROM.
  ASSERT_TRUE(StartAndReboot(
      sim, host, {"--mode", "upload", "--file", fx.transferFile, "--short-block", "3,4,5"}));
  uint8_t lastPsn = 0;
  Fetched got = FetchUpload(host, &lastPsn);
  EXPECT_FALSE(got.ok);
  EXPECT_EQ(got.refused, 3);
  EXPECT_TRUE(got.eeprom.empty());
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 1);
  EXPECT_EQ(last, "SIM FAIL CMD_END after 510 of 131328 bytes");
}

TEST(SimSerialSide, DownloadCanEndRightAfterTheRequest) {
  Fixture fx;
  SimProcess sim;
  Host host;
  ASSERT_TRUE(StartAndReboot(sim, host, {"--file", fx.transferFile, "--end-after", "0"}));
  Served s = ServeDownload(host, simtest::StoredDownloadFile(0x1234, fx.packed, fx.eeprom));
  EXPECT_TRUE(s.ended);
  EXPECT_EQ(s.requests, 1);
  EXPECT_EQ(s.blocks, 0);
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 0);
  EXPECT_EQ(last, "SIM OK download ended after 0 blocks");
}

TEST(SimSerialSide, UploadAnnouncesTheFlashSizeItIsGiven) {
  Fixture fx;
  SimProcess sim;
  Host host;
  ASSERT_TRUE(StartAndReboot(
      sim, host, {"--mode", "upload", "--file", fx.transferFile, "--flash-size", "1000"}));
  uint8_t lastPsn = 0;
  Fetched got = FetchUpload(host, &lastPsn);
  EXPECT_TRUE(got.ok);
  EXPECT_EQ(got.packed, std::vector<uint8_t>(fx.packed.begin(), fx.packed.begin() + 1000));
  EXPECT_EQ(got.eeprom, fx.eeprom);
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 0) << last;
  EXPECT_EQ(last, "SIM OK upload 1256 bytes served");
}

TEST(SimSerialSide, UploadRefusesAPcThatBreaksThePsnRule) {
  Fixture fx;
  SimProcess sim;
  Host host;
  ASSERT_TRUE(
      StartAndReboot(sim, host, {"--mode", "upload", "--file", fx.transferFile, "--psn", "10"}));
  Frame f;
  ASSERT_TRUE(host.Receive(&f, 20s));
  ASSERT_EQ(f.cmd, sim::kCmdRequest);
  EXPECT_EQ(f.psn, 10);
  host.Send(Frame{10, sim::kCmdUpReady, {}});
  host.Send(Frame{12, sim::kCmdSizeReq, {2}});  // 11 was due
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 1);
  EXPECT_EQ(last, "SIM FAIL CMD_SIZE_REQ psn 12 len 1 where PSN 11 was due");
}

TEST(SimSerialSide, UploadRefusesABlockRequestPastTheEnd) {
  Fixture fx;
  SimProcess sim;
  Host host;
  ASSERT_TRUE(StartAndReboot(
      sim, host, {"--mode", "upload", "--file", fx.transferFile, "--flash-size", "100"}));
  Frame f;
  ASSERT_TRUE(host.Receive(&f, 20s));
  host.Send(Frame{f.psn, sim::kCmdUpReady, {}});
  host.Send(Frame{static_cast<uint8_t>(f.psn + 1), sim::kCmdSizeReq, {2}});
  ASSERT_TRUE(host.Receive(&f, 20s));
  ASSERT_EQ(f.cmd, sim::kCmdSize);
  EXPECT_EQ(Get24bit(f.payload.data()), 100u);
  host.Send(Frame{static_cast<uint8_t>(f.psn + 1), sim::kCmdBlockReq, {255, 0, 0, 0}});
  EXPECT_FALSE(host.Receive(&f, 500ms)) << "a request past the end was answered";
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 1);
  EXPECT_EQ(last, "SIM FAIL block request for 255 bytes at 0 of type 2: past the end");
}

TEST(SimSerialSide, HangupMidTransferIsSeenAsAFailedLine) {
  Fixture fx;
  SimProcess sim;
  Host host;
  ASSERT_TRUE(StartAndReboot(sim, host, {"--file", fx.transferFile, "--hangup-after", "5"}));
  Served s = ServeDownload(host, simtest::StoredDownloadFile(0x1234, fx.packed, fx.eeprom));
  EXPECT_FALSE(s.ended);
  // The request and four block requests were sent; the last may be lost with the line.
  EXPECT_GE(s.requests + s.blocks, 4);
  EXPECT_LE(s.requests + s.blocks, 5);
  EXPECT_TRUE(host.LineFailed());
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 0) << last;
  EXPECT_EQ(last, "SIM OK download hung up after 5 frames as asked");
}

TEST(SimSerialSide, GivenModelIdIsAnnouncedWithoutWaitingForAReboot) {
  Fixture fx;
  std::string hex;
  for (int i = 0; i < 32; ++i) hex += "0123456789ABCDEF"[i % 16], hex += 'F';
  SimProcess sim;
  Host host;
  ASSERT_TRUE(sim.Start({"--file", fx.transferFile, "--no-reboot", "--reboot-delay-ms", "300",
                         "--system-id", "7", "--model-id", hex, "--end-after", "0"}));
  ASSERT_TRUE(host.Open(sim.PtyPath()));
  Served s = ServeDownload(host, {});
  EXPECT_TRUE(s.ended);
  ASSERT_GE(s.requests, 1);
  ASSERT_EQ(s.request.payload.size(), 34u);
  EXPECT_EQ(Get16bit(s.request.payload.data()), 7);
  for (size_t i = 0; i < 32; ++i)
    EXPECT_EQ(s.request.payload[2 + i], static_cast<uint8_t>((i % 16) << 4 | 0xF)) << i;
  std::string last;
  EXPECT_EQ(sim.Finish(&last), 0) << last;
}

TEST(SimSerialSide, NoRebootFrameEndsWithinTheTimeout) {
  Fixture fx;
  SimProcess sim;
  ASSERT_TRUE(sim.Start({"--file", fx.transferFile, "--timeout", "1"}));
  Host host;
  ASSERT_TRUE(host.Open(sim.PtyPath()));
  ASSERT_TRUE(host.Send(Frame{1, sim::kCmdReboot, {}}));  // wrong PSN: not a reboot
  std::string last;
  EXPECT_EQ(sim.Finish(&last, 60s), 1);
  EXPECT_EQ(last, "SIM FAIL no reboot frame within 1 s");
}

TEST(SimSerialSide, RunsACommandWithThePortInItsEnvironment) {
  Fixture fx;
  SimProcess sim;
  // The command reboots the receiver through PENWICK_COM4 and then leaves it unanswered.
  ASSERT_TRUE(
      sim.Start({"--file", fx.transferFile, "--com", "4", "--tries", "1", "--answer-ms", "300",
                 "--run", "sh", "-c", "printf 'HaVo\\000\\013\\000\\013' > \"$PENWICK_COM4\""}));
  std::string last;
  EXPECT_EQ(sim.Finish(&last, 60s), 1);
  EXPECT_EQ(last, "SIM FAIL no CMD_DOWN_READY after 1 requests");
}

TEST(SimSerialSide, BadCommandLinesAreRefused) {
  SimProcess sim;
  EXPECT_FALSE(sim.Start({"--block-size", "256", "--file", "x"}));
  std::string last;
  EXPECT_EQ(sim.Finish(&last, 30s), 2);
}

}  // namespace
