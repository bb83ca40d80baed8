// The slicing of the wait rule, driven by a scripted slice function (no real waiting).
#include "wait_rule.h"

#include <gtest/gtest.h>

namespace hvusb {
namespace {

TEST(WaitRule, SliceCounts) {
  EXPECT_EQ(WaitSlices(8000), 80u);
  EXPECT_EQ(WaitSlices(50), 1u);  // below 100 ms: one slice
  EXPECT_EQ(WaitSlices(250), 2u);
  EXPECT_EQ(WaitSlices(0), 0u);  // unlimited
}

TEST(WaitRule, TimesOutAfterTheSlicesAndStopsOnEvent) {
  std::atomic<bool> abort{false};
  int calls = 0;
  auto never = [&](std::chrono::milliseconds) {
    ++calls;
    return SliceOutcome::TimedOut;
  };
  EXPECT_EQ(WaitByRule(350, abort, never), WaitOutcome::TimedOut);
  EXPECT_EQ(calls, 3);
  calls = 0;
  auto third = [&](std::chrono::milliseconds) {
    return ++calls == 3 ? SliceOutcome::Signalled : SliceOutcome::TimedOut;
  };
  EXPECT_EQ(WaitByRule(8000, abort, third), WaitOutcome::Done);
  EXPECT_EQ(calls, 3);
  auto broken = [](std::chrono::milliseconds) { return SliceOutcome::Failed; };
  EXPECT_EQ(WaitByRule(8000, abort, broken), WaitOutcome::Failed);
}

TEST(WaitRule, UnlimitedWaitEndsOnlyByEventOrAbort) {
  std::atomic<bool> abort{false};
  int calls = 0;
  auto late = [&](std::chrono::milliseconds) {
    return ++calls == 500 ? SliceOutcome::Signalled : SliceOutcome::TimedOut;
  };
  EXPECT_EQ(WaitByRule(0, abort, late), WaitOutcome::Done);
  calls = 0;
  auto abortLater = [&](std::chrono::milliseconds) {
    if (++calls == 7) abort.store(true);
    return SliceOutcome::TimedOut;
  };
  EXPECT_EQ(WaitByRule(0, abort, abortLater), WaitOutcome::Aborted);
  EXPECT_EQ(calls, 7);
  // A flag already set ends the wait before any slice.
  calls = 0;
  EXPECT_EQ(WaitByRule(8000, abort, abortLater), WaitOutcome::Aborted);
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace hvusb
