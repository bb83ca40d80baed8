// Console support: the progress line's bytes on terminals and pipes, the exit-code table, the
// JSON line writer and the stop signal.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "penwick/console_kit/exit_codes.hpp"
#include "penwick/console_kit/json_line.hpp"
#include "penwick/console_kit/progress_line.hpp"
#include "penwick/console_kit/stop_signal.hpp"

namespace {

// Runs `body` against a ProgressLine writing into memory and returns the bytes written.
template <typename Body>
std::string Capture(bool terminal, Body body) {
  char* data = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&data, &size);
  {
    pw::cli::ProgressLine line(out, terminal);
    body(line);
  }
  std::fclose(out);
  std::string text(data, size);
  std::free(data);
  return text;
}

void Session(pw::cli::ProgressLine& line) {
  line.Status("Waiting 1 s");
  line.Status("Waiting 1 s");
  line.Bar("Writing", 0);
  line.Bar("Writing", 50);
  line.Bar("Writing", 50);
  line.Bar("Writing", 150);
  line.Line("done");
}

TEST(ProgressLine, TerminalRedrawsOneLineAndPipeWritesEachChangeOnce) {
  const std::string tty = Capture(true, Session);
  // Every live update starts with \r; the first newline ends the live line before "done".
  EXPECT_EQ(tty.find('\n'), tty.size() - std::string("\ndone\n").size());
  EXPECT_EQ(tty.substr(0, 12), "\rWaiting 1 s");
  EXPECT_NE(tty.find("\rWriting [###############...............]  50 %\x1b[K"), std::string::npos);
  EXPECT_NE(tty.find("] 100 %\x1b[K\ndone\n"), std::string::npos) << "percent clamped to 100";

  const std::string pipe = Capture(false, Session);
  EXPECT_EQ(pipe.find('\r'), std::string::npos);
  EXPECT_EQ(pipe,
            "Waiting 1 s\n"
            "Writing [..............................]   0 %\n"
            "Writing [###############...............]  50 %\n"
            "Writing [##############################] 100 %\n"
            "done\n");

  // A cleared status leaves no line behind on a terminal.
  const auto cleared = [](pw::cli::ProgressLine& line) {
    line.Status("Waiting 2 s");
    line.Clear();
    line.Line("arrived");
  };
  EXPECT_EQ(Capture(true, cleared), "\rWaiting 2 s\x1b[K\r\x1b[Karrived\n");
  EXPECT_EQ(Capture(false, cleared), "Waiting 2 s\narrived\n");
}

TEST(ProgressLine, DestructorEndsTheLiveLine) {
  EXPECT_EQ(Capture(true, [](auto& line) { line.Status("x"); }), "\rx\x1b[K\n");
  EXPECT_EQ(Capture(true, [](auto&) {}), "");
}

TEST(ExitCodes, DistinctNamesAndCodesWithZeroOnlyForSuccess) {
  std::set<int> codes;
  std::set<std::string> names;
  for (const auto& info : pw::cli::ExitCodes()) {
    EXPECT_TRUE(codes.insert(info.code).second) << info.code;
    EXPECT_TRUE(names.insert(info.name).second) << info.name;
  }
  EXPECT_EQ(*codes.begin(), 0);
  EXPECT_STREQ(pw::cli::DescribeExitCode(pw::cli::kExitCancelled).name, "cancelled");
  EXPECT_STREQ(pw::cli::DescribeExitCode(99).name, "failure");
  EXPECT_NE(pw::cli::ExitCodeHelp().find(" 10  timed out"), std::string::npos);
}

TEST(JsonLine, AnyTextBecomesAValidString) {
  EXPECT_EQ(pw::cli::JsonString("a\"b\\c\r\n\t\x01\x7f"), "\"a\\\"b\\\\c\\r\\n\\t\\u0001\\u007f\"");
  EXPECT_EQ(pw::cli::JsonString("caf\xc3\xa9"), "\"caf\xc3\xa9\"");
  // Bytes that are not UTF-8 (a lone continuation, a cut sequence, an overlong form).
  EXPECT_EQ(pw::cli::JsonString("\x80|\xc3|\xc0\xaf"), "\"\\ufffd|\\ufffd|\\ufffd\\ufffd\"");
  EXPECT_EQ(pw::cli::JsonLine("result").Add("exit", 4).Add("ok", false).Text(),
            "{\"type\":\"result\",\"exit\":4,\"ok\":false}");
}

TEST(StopSignal, FirstSignalIsRecordedAndWakesTheWaiter) {
  EXPECT_EQ(pw::cli::StopSignalFd(), -1);
  pw::cli::InstallStopSignals();
  EXPECT_GE(pw::cli::StopSignalFd(), 0);
  EXPECT_FALSE(pw::cli::WaitForStop(std::chrono::milliseconds(1)));
  raise(SIGTERM);
  EXPECT_TRUE(pw::cli::WaitForStop(std::chrono::seconds(30)));
  EXPECT_EQ(pw::cli::StopSignal(), SIGTERM);
}

}  // namespace
