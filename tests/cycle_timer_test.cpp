// The cycle timer as every layer keeps it: the schedule of the layers with
// their own event loop (SDL2, web), and the headless layer's virtual timer,
// both held to what platform.h promises.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/cycle_schedule.h"
#include "platform/headless/headless.h"
#include "platform/headless/script.h"
#include "tests/support.h"

namespace tavoren {
namespace {

constexpr std::int64_t kMs = 1'000'000;

TEST(CycleSchedule, FirstTickOneIntervalAfterEnabling) {
  CycleSchedule t;
  EXPECT_FALSE(t.Due(0));
  EXPECT_EQ(t.WaitMs(0), -1);  // disabled: wait for events only
  t.Enable(1000 * kMs);
  EXPECT_FALSE(t.Due(1000 * kMs));
  EXPECT_FALSE(t.Due(1040 * kMs - 1));
  EXPECT_TRUE(t.Due(1040 * kMs));
  EXPECT_EQ(t.WaitMs(1000 * kMs), 40);
}

TEST(CycleSchedule, WaitRoundsUpSoTheTickIsDueWhenItEnds) {
  CycleSchedule t;
  t.Enable(0);
  const std::int64_t now = 500'000;  // 0.5 ms later: 39.5 ms to go
  EXPECT_EQ(t.WaitMs(now), 40);
  EXPECT_TRUE(t.Due(now + t.WaitMs(now) * kMs));
  EXPECT_EQ(t.WaitMs(40 * kMs), 0);
  EXPECT_EQ(t.WaitMs(90 * kMs), 0);
}

TEST(CycleSchedule, EnablingAnEnabledTimerKeepsItsTick) {
  CycleSchedule t;
  t.Enable(0);
  t.Enable(30 * kMs);
  EXPECT_TRUE(t.Due(40 * kMs));
}

TEST(CycleSchedule, ReEnabledTimerStartsAfresh) {
  CycleSchedule t;
  t.Enable(0);
  t.Disable();
  EXPECT_FALSE(t.Due(40 * kMs));
  EXPECT_EQ(t.WaitMs(40 * kMs), -1);
  t.Enable(50 * kMs);
  EXPECT_FALSE(t.Due(89 * kMs));
  EXPECT_TRUE(t.Due(90 * kMs));
}

TEST(CycleSchedule, TicksKeepTheirCadenceWhenSlightlyLate) {
  CycleSchedule t;
  t.Enable(0);
  t.TakeTick(41 * kMs);  // the loop came back 1 ms late
  EXPECT_FALSE(t.Due(79 * kMs));
  EXPECT_TRUE(t.Due(80 * kMs));
  t.TakeTick(80 * kMs);
  // A handler that ran 45 ms: the next tick is due as soon as it returns,
  // and the one after keeps the cadence.
  EXPECT_TRUE(t.Due(125 * kMs));
  t.TakeTick(125 * kMs);
  EXPECT_FALSE(t.Due(159 * kMs));
  EXPECT_TRUE(t.Due(160 * kMs));
}

TEST(CycleSchedule, NoCatchUpAfterALongDelay) {
  CycleSchedule t;
  t.Enable(0);
  t.TakeTick(1000 * kMs);  // 960 ms late: one tick, then 40 ms from now
  EXPECT_FALSE(t.Due(1000 * kMs));
  EXPECT_FALSE(t.Due(1039 * kMs));
  EXPECT_TRUE(t.Due(1040 * kMs));
  EXPECT_EQ(t.WaitMs(1000 * kMs), 40);
}

// Enabling an enabled timer keeps its cadence; a newly enabled one ticks
// one interval later.
TEST(HeadlessTimer, EnablingAnEnabledTimerKeepsItsTick) {
  const std::vector<headless::Command> wait = testing::Script("wait 30\n");
  headless::HeadlessPlatform platform;
  platform.SetCycleTimer(true);
  platform.Run(wait);  // 30 ms
  platform.SetCycleTimer(true);
  platform.Run(wait);  // 60 ms: the tick at 40 came, the next is due at 80
  EXPECT_EQ(platform.TicksDelivered(), 1);
  platform.SetCycleTimer(false);
  platform.SetCycleTimer(true);
  platform.Run(wait);  // 90 ms: re-enabled at 60, first tick at 100
  EXPECT_EQ(platform.TicksDelivered(), 1);
  platform.Run(wait);
  EXPECT_EQ(platform.TicksDelivered(), 2);
}

}  // namespace
}  // namespace tavoren
