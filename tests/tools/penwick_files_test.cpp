// penwick-files against the emulated receiver's file store: transfers, the refusals before
// any transfer, Ctrl-C, and each exit status of the shared table.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>

#include "child_process.h"
#include "file_bytes.h"
#include "penwick/cli/exit_codes.hpp"
#include "sample_region.h"
#include "sim_process.h"

namespace {

namespace fs = std::filesystem;
using namespace pw::cli;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;
using namespace std::chrono_literals;

struct Outcome {
  int status = -1;
  std::vector<std::string> lines;
  bool Said(const std::string& start) const {
    for (const std::string& line : lines) {
      if (line.starts_with(start)) return true;
    }
    return false;
  }
};

class PenwickFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/penwick-files-tool-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    fs::create_directory(dir / "store");
  }
  void TearDown() override {
    sim.reset();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  void StartSim(const char* version, std::vector<std::string> more = {}) {
    std::vector<std::string> options{"--bcd-device", version, "--files", (dir / "store").string()};
    options.insert(options.end(), more.begin(), more.end());
    sim = std::make_unique<hvusb_test::SimProcess>(options);
    ASSERT_TRUE(sim->ok());
    server = "127.0.0.1:" + std::to_string(sim->port());
  }

  // Runs penwick-files; `atLine` runs once, at the first line that starts with `until`.
  Outcome Files(const std::vector<std::string>& args, const std::string& until = {},
                std::function<void(pwtest::ChildProcess&)> atLine = {}) {
    std::vector<std::string> argv{PENWICK_FILES_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    pwtest::ChildProcess child;
    Outcome outcome;
    if (!child.Start(argv, {"PENWICK_USBIP=" + server})) {
      ADD_FAILURE() << "penwick-files did not start";
      return outcome;
    }
    for (std::string line; !(line = child.ReadLine(60s)).empty();) {
      line.pop_back();
      outcome.lines.push_back(line);
      if (!until.empty() && line.starts_with(until) && atLine) {
        atLine(child);
        atLine = {};  // once
      }
    }
    outcome.status = child.WaitExit(10s).value_or(-1);
    return outcome;
  }

  fs::path dir;
  std::unique_ptr<hvusb_test::SimProcess> sim;
  std::string server = "127.0.0.1:1";
};

TEST_F(PenwickFiles, TransfersAndTheRefusalsBeforeThem) {
  StartSim("0200");
  const auto content = samples::RandomBytes(300000, 9);
  WriteFileBytes(dir / "a.bin", content);
  Outcome sent = Files({"send", (dir / "a.bin").string(), "remote.bin", "--timeout", "10"});
  EXPECT_EQ(sent.status, kExitOk);
  EXPECT_TRUE(sent.Said("Done"));
  EXPECT_EQ(ReadFileBytes(dir / "store" / "remote.bin"), content);

  const std::string got = (dir / "got.bin").string();
  EXPECT_EQ(Files({"receive", "remote.bin", got}).status, kExitOk);
  EXPECT_EQ(ReadFileBytes(got), content);
  // An existing file is replaced only when asked to, and resumed from its size.
  EXPECT_EQ(Files({"receive", "remote.bin", got}).status, kExitUsage);
  fs::resize_file(got, 100000);
  EXPECT_EQ(Files({"receive", "remote.bin", got}).status, kExitUsage);
  EXPECT_EQ(ReadFileBytes(got).size(), 100000u);
  const Outcome resumed = Files({"receive", "remote.bin", got, "--resume"});
  EXPECT_EQ(resumed.status, kExitOk);
  EXPECT_TRUE(resumed.Said("Receiving remote.bin into " + got + " from byte 100000"));
  EXPECT_EQ(ReadFileBytes(got), content);
  EXPECT_EQ(Files({"receive", "remote.bin", got, "--force"}).status, kExitOk);

  // The receiver has no such file.
  EXPECT_EQ(Files({"receive", "missing.bin", (dir / "new.bin").string()}).status,
            kExitTransferFailed);
  EXPECT_FALSE(fs::exists(dir / "new.bin"));
  const Outcome info = Files({"info"});
  EXPECT_EQ(info.status, kExitOk);
  EXPECT_TRUE(info.Said("receiver 1209:0001, device version 0200"));
  EXPECT_EQ(Files({}).status, kExitUsage);
  EXPECT_EQ(Files({"send", "only-one"}).status, kExitUsage);
  EXPECT_EQ(Files({"send", (dir / "nothing").string(), "x"}).status, kExitUsage);
}

TEST_F(PenwickFiles, RefusedOnAVersionOneReceiverAndTimedOutWithoutOne) {
  StartSim("0100");
  WriteFileBytes(dir / "a.bin", samples::RandomBytes(10, 9));
  EXPECT_EQ(Files({"send", (dir / "a.bin").string(), "r", "--from", "5"}).status, kExitRefused);
  sim.reset();  // nothing listens there any more
  const Outcome waited = Files({"info", "--timeout", "1"});
  EXPECT_EQ(waited.status, kExitTimedOut);
  EXPECT_TRUE(waited.Said("Waiting for the receiver: 0 s"));
}

TEST_F(PenwickFiles, CtrlCCancelsTheTransferAndTheWait) {
  // The receiver falls silent after the first block's acknowledgement.
  StartSim("0200", {"--files-fault", "silence@4"});
  WriteFileBytes(dir / "a.bin", samples::RandomBytes(1 << 20, 9));
  const auto interrupt = [](pwtest::ChildProcess& child) { child.Signal(SIGINT); };
  const Outcome cancelled = Files({"send", (dir / "a.bin").string(), "r.bin"}, "send [", interrupt);
  EXPECT_EQ(cancelled.status, kExitCancelled);
  EXPECT_TRUE(cancelled.Said("Cancelled"));

  sim.reset();
  const Outcome stopped = Files({"info"}, "Waiting for the receiver", interrupt);
  EXPECT_EQ(stopped.status, kExitCancelled);
}

}  // namespace
