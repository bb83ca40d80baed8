// The child-process helper the program tests stand on: lines, exit status, the extra
// environment, and that a child which does not end is stopped within the bound.
#include "child_process.h"

#include <gtest/gtest.h>
#include <signal.h>

using namespace std::chrono_literals;

namespace pwtest {
namespace {

TEST(ChildProcess, ReadsLinesAndTheExitStatusWithTheExtraEnvironment) {
  ChildProcess child;
  ASSERT_TRUE(
      child.Start({"/bin/sh", "-c", "echo first; echo \"$PW_CHILD_X\"; printf 'a\\nlast'; exit 3"},
                  {"PW_CHILD_X=given"}));
  EXPECT_GT(child.pid(), 0);
  EXPECT_EQ(child.ReadLine(10s), "first\n");
  EXPECT_EQ(child.ReadLine(10s), "given\n");
  const ChildProcess::Exit exit = child.Finish(10s);
  EXPECT_EQ(exit.status, 3);
  EXPECT_EQ(exit.lastLine, "last");
  EXPECT_EQ(child.pid(), -1);
  EXPECT_EQ(child.ReadLine(10ms), "");
}

TEST(ChildProcess, AChildThatDoesNotEndIsStoppedWithinTheBound) {
  ChildProcess silent;
  ASSERT_TRUE(silent.Start({"/bin/sh", "-c", "echo up; exec sleep 60"}));
  EXPECT_EQ(silent.ReadLine(10s), "up\n");
  EXPECT_EQ(silent.ReadLine(50ms), "");
  EXPECT_EQ(silent.WaitExit(50ms), std::nullopt);
  EXPECT_EQ(silent.Stop(10s), 128 + SIGTERM);

  ChildProcess stuck;
  ASSERT_TRUE(stuck.Start({"/bin/sh", "-c", "trap '' TERM; echo up; exec sleep 60"}));
  EXPECT_EQ(stuck.ReadLine(10s), "up\n");
  EXPECT_EQ(stuck.Stop(100ms), 128 + SIGKILL);
  ChildProcess killed;
  ASSERT_TRUE(killed.Start({"/bin/sh", "-c", "exec sleep 60"}));
  EXPECT_EQ(killed.Finish(100ms).status, 128 + SIGKILL);

  ChildProcess missing;
  EXPECT_FALSE(missing.Start({"/nonexistent/program"}));
  EXPECT_EQ(missing.WaitExit(10ms), std::nullopt);
}

}  // namespace
}  // namespace pwtest
