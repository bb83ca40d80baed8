// penwick-files against the emulated receiver's file store: transfers, the refusals before
// any transfer, the one-line reason of each failure, Ctrl-C, and each exit status of the
// shared table.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <sys/stat.h>

#include <filesystem>

#include "child_process.h"
#include "file_bytes.h"
#include "penwick/console_kit/exit_codes.hpp"
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
  // Its stderr comes in the same lines as its stdout.
  Outcome Files(const std::vector<std::string>& args, const std::string& until = {},
                std::function<void(pwtest::ChildProcess&)> atLine = {},
                const std::string& environment = "PENWICK_LOCAL_FILE_FAULT=") {
    std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", PENWICK_FILES_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    pwtest::ChildProcess child;
    Outcome outcome;
    if (!child.Start(argv, {"PENWICK_USBIP=" + server, environment})) {
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
  // A resume fetches the last 64 KB again and compares them before it appends.
  const Outcome resumed = Files({"receive", "remote.bin", got, "--resume"});
  EXPECT_EQ(resumed.status, kExitOk);
  EXPECT_TRUE(resumed.Said("Receiving remote.bin into " + got + " from byte 34464"));
  EXPECT_EQ(ReadFileBytes(got), content);
  // Onto a file that is not the start of the remote one: refused, LOCAL as it was.
  auto other = content;
  other.resize(200000);
  other[150000] ^= 1;
  WriteFileBytes(got, other);
  fs::last_write_time(got, fs::last_write_time(got) - 48h);
  const auto stamped = fs::last_write_time(got);
  const Outcome mismatch = Files({"receive", "remote.bin", got, "--resume"});
  EXPECT_EQ(mismatch.status, kExitTransferFailed);
  EXPECT_TRUE(mismatch.Said("penwick-files: " + got +
                            " is not the start of remote.bin: they differ at byte 150000"));
  EXPECT_EQ(ReadFileBytes(got), other);
  EXPECT_EQ(fs::last_write_time(got), stamped);
  EXPECT_EQ(Files({"receive", "remote.bin", got, "--force"}).status, kExitOk);
  EXPECT_EQ(ReadFileBytes(got), content);
  // send replaces the receiver's file of that name.
  WriteFileBytes(dir / "b.bin", {1, 2, 3});
  EXPECT_EQ(Files({"send", (dir / "b.bin").string(), "remote.bin"}).status, kExitOk);
  EXPECT_EQ(ReadFileBytes(dir / "store" / "remote.bin"), (std::vector<uint8_t>{1, 2, 3}));

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
  // --from beyond the end is a usage error at once, and the store gets nothing.
  const Outcome beyond = Files({"send", (dir / "b.bin").string(), "beyond.bin", "--from", "4"});
  EXPECT_EQ(beyond.status, kExitUsage);
  EXPECT_TRUE(beyond.Said("penwick-files: --from 4 is beyond the end of"));
  EXPECT_FALSE(fs::exists(dir / "store" / "beyond.bin"));
  const Outcome help = Files({"--help"});
  EXPECT_EQ(help.status, kExitOk);
  EXPECT_TRUE(help.Said("  send               copies LOCAL to REMOTE; a file REMOTE the receiver"));
  EXPECT_TRUE(help.Said("   9  the received data could not be saved"));
  EXPECT_FALSE(help.Said("   4  "));  // a code it never returns
  const Outcome version = Files({"--version"});
  EXPECT_EQ(version.status, kExitOk);
  EXPECT_TRUE(version.Said("penwick-files "));
}

// Each failure ends with one line saying why and its exit status; a receive that fails leaves
// an existing LOCAL exactly as it was, content and times.
TEST_F(PenwickFiles, EveryFailureSaysWhyAndLeavesLocalAlone) {
  struct Case {
    std::vector<std::string> sim;  // more options of the emulated receiver
    std::string environment;       // for penwick-files
    std::vector<std::string> args;
    size_t localSize;  // LOCAL exists beforehand with this many bytes (0: it does not)
    int status;
    std::string line;  // after "penwick-files: "
  };
  const std::string local = (dir / "local.bin").string();
  const std::vector<Case> cases = {
      {{},
       "",
       {"receive", "missing.bin", local, "--force"},
       10,
       kExitTransferFailed,
       "the receiver has no file missing.bin"},
      {{},
       "",
       {"receive", "..", local},
       0,
       kExitTransferFailed,
       "the receiver refused the name .. (reason 3)"},
      {{"--files-fault", "refuse@3"},
       "",
       {"receive", "r.bin", local, "--force"},
       10,
       kExitTransferFailed,
       "the receiver refused (reason 7)"},
      {{"--files-fault", "cancel@3"},
       "",
       {"receive", "r.bin", local, "--force"},
       10,
       kExitTransferFailed,
       "the receiver cancelled the transfer"},
      {{"--files-fault", "disconnect@3"},
       "",
       {"receive", "r.bin", local, "--force"},
       10,
       kExitTransferFailed,
       "the receiver went away"},
      {{},
       "PENWICK_LOCAL_FILE_FAULT=disk-full",
       {"receive", "r.bin", local, "--force"},
       10,
       kExitSaveFailed,
       "the disk is full: " + local + " cannot be written"},
      {{},
       "PENWICK_LOCAL_FILE_FAULT=read-only",
       {"receive", "r.bin", local},
       0,
       kExitSaveFailed,
       "the folder " + dir.string() + " is read-only"},
      {{},
       "",
       {"receive", "r.bin", dir.string(), "--force"},
       0,
       kExitUsage,
       dir.string() + " is a folder"},
      // Longer than the remote file: the receiver refuses the position, or (within the
      // last 64 KB) the tool does.
      {{},
       "",
       {"receive", "r.bin", local, "--resume"},
       300000,
       kExitTransferFailed,
       "--resume starts beyond the end of r.bin"},
      {{},
       "",
       {"receive", "r.bin", local, "--resume"},
       200001,
       kExitTransferFailed,
       "--resume starts beyond the end of r.bin"},
      {{},
       "",
       {"send", (dir / "none").string(), "r.bin"},
       0,
       kExitUsage,
       "cannot read " + (dir / "none").string()},
  };
  const auto remote = samples::RandomBytes(200000, 5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    StartSim("0200", c.sim);
    WriteFileBytes(dir / "store" / "r.bin", remote);
    std::vector<uint8_t> before(remote.begin(),
                                remote.begin() + std::min(c.localSize, remote.size()));
    before.resize(c.localSize, 7);
    if (c.localSize != 0) {
      WriteFileBytes(local, before);
      fs::last_write_time(local, fs::last_write_time(local) - 48h);
    }
    const auto stamped = c.localSize != 0 ? fs::last_write_time(local) : fs::file_time_type{};
    const Outcome outcome =
        Files(c.args, {}, {}, c.environment.empty() ? "PENWICK_LOCAL_FILE_FAULT=" : c.environment);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_TRUE(outcome.Said("penwick-files: " + c.line))
        << ::testing::PrintToString(outcome.lines);
    if (c.localSize != 0) {
      EXPECT_EQ(ReadFileBytes(local), before);
      EXPECT_EQ(fs::last_write_time(local), stamped);
    } else {
      EXPECT_FALSE(fs::exists(local));
    }
    for (const auto& entry : fs::directory_iterator(dir)) {  // no temporary left behind
      EXPECT_FALSE(entry.path().filename().string().starts_with(".penwick-files-"));
    }
    fs::remove(local);
    sim.reset();
  }
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

  // A cancelled receive leaves LOCAL as it was; a cancelled resume keeps what arrived (the
  // first block, which appends to a short LOCAL) and gives LOCAL back its times. The receiver
  // falls silent after the first block.
  const auto content = samples::RandomBytes(1 << 20, 4);
  WriteFileBytes(dir / "store" / "big.bin", content);
  const std::vector<uint8_t> start(content.begin(), content.begin() + 1000);
  const fs::path local = dir / "local.bin";
  for (const char* mode : {"--force", "--resume"}) {
    SCOPED_TRACE(mode);
    StartSim("0200", {"--files-fault", "silence@3"});
    WriteFileBytes(local, start);
    fs::last_write_time(local, fs::last_write_time(local) - 48h);
    const auto stamped = fs::last_write_time(local);
    const Outcome stopped =
        Files({"receive", "big.bin", local.string(), mode}, "receive [", interrupt);
    EXPECT_EQ(stopped.status, kExitCancelled);
    EXPECT_EQ(fs::last_write_time(local), stamped);
    const auto now = ReadFileBytes(local);
    EXPECT_EQ(now.size(), std::string(mode) == "--force" ? 1000u : 65024u);
    EXPECT_TRUE(std::equal(now.begin(), now.end(), content.begin()));
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);

  sim.reset();
  const Outcome stopped = Files({"info"}, "Waiting for the receiver", interrupt);
  EXPECT_EQ(stopped.status, kExitCancelled);
}

}  // namespace
