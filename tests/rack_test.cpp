// The new window, the rack that FormShow makes, its first tick, and the
// guards of the key handler, driven through the headless platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "tests/support.h"
#include "tools/driver/driver.h"

namespace tavoren::headless {
namespace {

using testing::kRackPlaceX;
using testing::kRackPlaceY;
using testing::RackDiffers;
using testing::SameBalls;

class Session {
 public:
  Session() : p_(std::make_unique<HeadlessPlatform>()) {}
  HeadlessPlatform& P() { return *p_; }
  TForm1& F() { return p_->Form(); }

  // Runs a script from the current virtual time on. A tick due at the very
  // millisecond the script ends is not delivered (commands come first).
  void Play(const std::string& text) { p_->Run(testing::Script(text)); }
  std::string State() { return StateBlock(*p_); }
  std::vector<TColor> Picture() const {
    const TColor* px = p_->Form().Canvas.Pixels();
    return std::vector<TColor>(px, px + kClientWidth * kClientHeight);
  }

 private:
  std::unique_ptr<HeadlessPlatform> p_;
};

void ExpectRackFromClock(const TForm1& f, std::uint32_t clock) {
  EXPECT_EQ(RackDiffers(f.Balls, clock), "");
}

// ---------------------------------------------------------------------------

TEST(NewWindow, NothingIsSetUpBeforeTheFirstShow) {
  Session s;
  TForm1& f = s.F();
  for (const TBall& b : f.Balls) {
    EXPECT_FALSE(b.OnTable);
    EXPECT_EQ(b.X, 0.0);
    EXPECT_EQ(b.Y, 0.0);
  }
  EXPECT_EQ(f.HistoryPos, 0);
  EXPECT_EQ(f.HistoryLast, 0);
  EXPECT_EQ(f.TargetBall, 0);
  EXPECT_EQ(f.Power, 0.0);
  EXPECT_EQ(f.AimX, 0.0);
  EXPECT_FALSE(f.LegalFirstHit);
  EXPECT_FALSE(f.CushionHit);
  EXPECT_FALSE(f.TimerForCycle.Enabled());
  EXPECT_STREQ(f.PanelForMsg.Caption(), "");
  EXPECT_STREQ(s.P().PanelText(), "");
  // Without a show nothing happens however long the program waits.
  s.Play("wait 100000\nstate\n");
  EXPECT_EQ(s.P().TicksDelivered(), 0);
  EXPECT_FALSE(f.Balls[0].OnTable);
}

TEST(Rack, CoordinatesComeFromTheClockDrawByDraw) {
  // A few coordinates worked out with exact integer arithmetic:
  // clock 0: the first draw gives state 1, so the cue ball's x is 239.5 + 2^-32.
  {
    Session s;
    s.Play("clock 0\nshow\n");
    EXPECT_EQ(s.F().Balls[0].X, 239.5 + 0x1p-32);
    EXPECT_EQ(s.F().Balls[0].Y, 239.5 + 134775814.0 * 0x1p-32);
    EXPECT_EQ(s.F().Balls[1].X, 0x1.402e36d60f8p+9);
    EXPECT_EQ(s.F().Balls[9].Y, 0x1.dfa7e5db18p+7);
  }
  {
    Session s;  // the state wraps at 2^32 from the first draw on
    s.Play("clock 4294967295\nshow\n");
    EXPECT_EQ(s.F().Balls[0].X, 0x1.e0efeef7f8p+7);
    EXPECT_EQ(s.F().Balls[1].Y, 0x1.df43b50c56p+7);
    EXPECT_EQ(s.F().Balls[9].X, 0x1.4adc56f989p+9);
  }
  {
    Session s;
    s.Play("clock 123456789\nshow\n");
    EXPECT_EQ(s.F().Balls[0].X, 0x1.e01663aad4p+7);
    EXPECT_EQ(s.F().Balls[1].X, 0x1.3ff20875bp+9);
    EXPECT_EQ(s.F().Balls[9].Y, 0x1.e06af21922p+7);
  }
  // And every coordinate of a spread of racks.
  for (std::uint32_t clock :
       {0u, 1u, 40u, 12345u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu, 2166136261u}) {
    Session s;
    s.Play("clock " + std::to_string(clock) + "\nshow\n");
    ExpectRackFromClock(s.F(), clock);
  }
}

TEST(Rack, EveryBallLiesWithinHalfAPixelOfItsPlace) {
  Session s;
  double lowest = 1.0, highest = -1.0;
  for (std::uint32_t k = 0; k < 400; ++k) {
    const std::uint32_t clock = k * 10737419u + (k & 7u);  // spread over the whole range
    s.Play("clock " + std::to_string(clock) + "\nkey 36\n");
    for (int i = 0; i < 10; ++i) {
      const double dx = s.F().Balls[i].X - kRackPlaceX[i];
      const double dy = s.F().Balls[i].Y - kRackPlaceY[i];
      ASSERT_GE(dx, -0.5) << "ball " << i << " clock " << clock;
      ASSERT_LT(dx, 0.5) << "ball " << i << " clock " << clock;
      ASSERT_GE(dy, -0.5) << "ball " << i << " clock " << clock;
      ASSERT_LT(dy, 0.5) << "ball " << i << " clock " << clock;
      lowest = std::min({lowest, dx, dy});
      highest = std::max({highest, dx, dy});
    }
  }
  // The jitter really does use the whole range.
  EXPECT_LT(lowest, -0.49);
  EXPECT_GT(highest, 0.49);
}

TEST(Rack, TwoRacksAtTheSameClockReadingAreIdentical) {
  Session a, b;
  a.Play("clock 31337\nshow\n");
  TBall first[10];
  std::memcpy(static_cast<void*>(first), static_cast<const void*>(a.F().Balls), sizeof first);
  // Another session reaches the same reading by a different road, and the
  // first one racks again later at that reading.
  b.Play("clock 31000\nshow\nsettle\nwait 297\nstate\n");
  ASSERT_EQ(b.P().ClockReading(), 31337u);
  b.Play("key 36\n");
  EXPECT_TRUE(SameBalls(b.F().Balls, first));
  a.Play("settle\nwait 1000\nclock 31337\nkey 36\n");
  EXPECT_TRUE(SameBalls(a.F().Balls, first));
  // A different reading gives a different rack.
  a.Play("clock 31338\nkey 36\n");
  EXPECT_FALSE(SameBalls(a.F().Balls, first));
}

TEST(Rack, ShowEmptiesTheCountersAndArmsTheBreak) {
  Session s;
  TForm1& f = s.F();
  // A game in some later state.
  f.HistoryLast = 7;
  f.HistoryPos = 4;
  f.SpinX = 0.25;
  f.SpinY = -0.5;
  f.Power = 0.1;
  f.AimX = -3.0;
  f.AimY = 9.0;
  f.TargetBall = 5;
  f.LegalFirstHit = false;
  f.CushionHit = false;
  f.FirstContactSeen = true;
  f.HistoryEntry(3).Power = 0.123;
  for (TBall& b : f.Balls) {
    b.OnTable = false;
    b.VX = 1.0;
    b.RollY = -2.0;
    b.SideSpin = 0.5;
  }
  s.Play("clock 42\nshow\n");
  EXPECT_EQ(f.HistoryLast, 0);
  EXPECT_EQ(f.HistoryPos, 0);
  EXPECT_EQ(f.HistoryEntry(3).Power, 0.123);  // stale, not wiped
  EXPECT_EQ(f.SpinX, 0.25);                   // left for the first tick
  EXPECT_EQ(f.SpinY, -0.5);
  EXPECT_EQ(f.Power, 0.4);
  EXPECT_EQ(f.AimX, 400.0);
  EXPECT_EQ(f.AimY, 0.0);
  EXPECT_EQ(f.TargetBall, 1);
  EXPECT_TRUE(f.LegalFirstHit);
  EXPECT_TRUE(f.CushionHit);
  EXPECT_TRUE(f.FirstContactSeen);  // not the rack's business
  EXPECT_TRUE(f.TimerForCycle.Enabled());
  EXPECT_TRUE(s.P().CycleTimerEnabled());
  EXPECT_STREQ(f.PanelForMsg.Caption(), "");  // no message until the first tick
  ExpectRackFromClock(f, 42);
}

TEST(Rack, HomeNeitherPaintsNorChangesTheMessage) {
  Session s;
  s.Play("clock 500\nshow\nsettle\n");
  const std::vector<TColor> before = s.Picture();
  const char* panel = s.F().PanelForMsg.Caption();
  s.Play("wait 10\nkey 36\n");
  EXPECT_TRUE(s.Picture() == before);
  EXPECT_STREQ(s.F().PanelForMsg.Caption(), panel);
  ExpectRackFromClock(s.F(), 500 + 50);
}

// Clock readings whose racks let two balls of one column overlap.
std::uint32_t FindOverlappingRack() {
  const int pairs[4][2] = {{7, 8}, {2, 9}, {9, 4}, {5, 6}};
  for (std::uint32_t clock = 0;; ++clock) {
    const testing::Rack r = testing::RackFromClock(clock);
    for (const auto& pr : pairs) {
      const double dx = r.balls[pr[0]].X - r.balls[pr[1]].X,
                   dy = r.balls[pr[0]].Y - r.balls[pr[1]].Y;
      if (dx * dx + dy * dy < 11.5 * 11.5) return clock;
    }
  }
}

TEST(Rack, FirstTickLeavesTheBallsWhereTheyLieAndAimsAtBallOne) {
  const std::uint32_t overlapping = FindOverlappingRack();
  for (std::uint32_t clock : {overlapping, 0u, 1000u, 4294967295u}) {
    Session s;
    TForm1& f = s.F();
    f.SpinX = 0.4;  // left over from an earlier game
    f.SpinY = 0.2;
    s.Play("clock " + std::to_string(clock) + "\nshow\n");
    TBall racked[10];
    std::memcpy(static_cast<void*>(racked), static_cast<const void*>(f.Balls), sizeof racked);
    s.Play("settle\n");
    EXPECT_EQ(s.P().Now(), 40);
    EXPECT_EQ(s.P().TicksDelivered(), 1);
    EXPECT_TRUE(SameBalls(f.Balls, racked)) << "clock " << clock;
    EXPECT_FALSE(f.TimerForCycle.Enabled());
    EXPECT_STREQ(f.PanelForMsg.Caption(), msg::kAiming);
    EXPECT_EQ(f.TargetBall, 1);
    EXPECT_EQ(f.AimX, racked[1].X - racked[0].X);
    EXPECT_EQ(f.AimY, racked[1].Y - racked[0].Y);
    EXPECT_EQ(f.SpinX, 0.0);
    EXPECT_EQ(f.SpinY, 0.0);
    EXPECT_EQ(f.Power, 0.4);
    EXPECT_EQ(f.HistoryPos, 0);
    EXPECT_EQ(f.HistoryLast, 0);
    // The picture: cue ball and apex ball painted, cue line between them.
    const Framebuffer& fb = f.Canvas;
    EXPECT_EQ(fb.Pixel(static_cast<int>(std::nearbyint(racked[2].X)),
                       static_cast<int>(std::nearbyint(racked[2].Y))),
              testing::kBallColour[2]);
    EXPECT_EQ(fb.Pixel(440, 240), 0x0000FFu);  // the cue line crosses the centre spot
  }
}

TEST(Rack, NoRackIsDisturbedByItsFirstTick) {
  // Many racks, touching and overlapping neighbours included: at rest every
  // collision exchanges zero velocities, so nothing may move at all.
  Session s;
  for (std::uint32_t k = 0; k < 1500; ++k) {
    const std::uint32_t clock = k * 2654435761u;
    s.Play("clock " + std::to_string(clock) + "\nkey 36\n");
    TBall racked[10];
    std::memcpy(static_cast<void*>(racked), static_cast<const void*>(s.F().Balls), sizeof racked);
    s.Play("settle\n");
    ASSERT_FALSE(s.F().TimerForCycle.Enabled()) << "clock " << clock;
    ASSERT_TRUE(SameBalls(s.F().Balls, racked)) << "clock " << clock;
  }
}

// ---------------------------------------------------------------------------
// Key guards

TEST(KeyGuards, EnterWithModifiersShootsLikeEnter) {
  Session s;
  s.Play("clock 1000\nshow\nsettle\n");
  std::uint16_t enter = 13;
  s.F().FormKeyDown(enter, ssShift);
  EXPECT_EQ(enter, 13);
  EXPECT_EQ(s.F().HistoryPos, 1);
  EXPECT_TRUE(s.F().TimerForCycle.Enabled());
  EXPECT_GT(s.F().Balls[0].VX, 0.0);
}

// What Enter, Backspace and Home do to the table, in every mode, the random
// timelines check after every key (tests/timeline_check.h); here the timer's
// beat, which they do not look at.
TEST(KeyGuards, HomeWhileBallsMoveKeepsTheTimersBeat) {
  Session s;
  // Rack at 0 (first tick 40), strike at 40: ticks at 80, 120, ...
  s.Play("clock 2000\nshow\nsettle\nkey 13\nwait 60\nstate\n");
  ASSERT_EQ(s.P().Now(), 100);
  ASSERT_NE(s.F().Balls[0].VX, 0.0);
  const std::int64_t ticks = s.P().TicksDelivered();
  s.Play("key 36\n");
  ExpectRackFromClock(s.F(), 2100);
  // The next tick comes at 120 as before, not 40 ms after the Home key.
  s.Play("wait 19\nstate\n");
  EXPECT_EQ(s.P().TicksDelivered(), ticks);
  EXPECT_TRUE(s.F().TimerForCycle.Enabled());
  s.Play("wait 2\nstate\n");
  EXPECT_EQ(s.P().TicksDelivered(), ticks + 1);
  EXPECT_FALSE(s.F().TimerForCycle.Enabled());
  EXPECT_STREQ(s.F().PanelForMsg.Caption(), msg::kAiming);
}

// Esc and the close box end the run: the timer stops, and no command after
// them runs (so the driver prints no state after them either).
TEST(KeyGuards, EscAndTheCloseBoxEndTheRun) {
  // While aiming, while balls move, before the first tick; then the close box.
  for (const char* script :
       {"clock 3\nshow\nsettle\nkey 27\n", "clock 3\nshow\nsettle\nkey 13\nwait 100\nkey 27\n",
        "clock 3\nshow\nkey 27\n", "clock 3\nshow\nsettle\nclose\n"}) {
    Session s;
    s.Play(std::string(script) + "key 36\nshow\n");
    EXPECT_TRUE(s.P().Closed()) << script;
    EXPECT_FALSE(s.F().TimerForCycle.Enabled()) << script;
    EXPECT_FALSE(s.P().CycleTimerEnabled()) << script;
  }
}

TEST(KeyGuards, OtherKeysDoNothing) {
  // Codes next to the four that mean something, and the same codes with
  // high bits set, which must not be taken for them.
  const int keys[] = {0,  1,  7,   9,   10,  12,  14,  26,  28,     32,     35,     37,
                      46, 65, 112, 255, 264, 269, 283, 292, 0x0D0D, 0xFF08, 0xFF1B, 65535};
  std::string script;
  for (int k : keys) script += "key " + std::to_string(k) + "\n";
  // A shot recorded, undone and fired again, so that Backspace would act.
  Session s;
  s.Play("clock 77\nshow\nsettle\nkey 13\nwait 200\nkey 8\n");
  ASSERT_EQ(s.F().HistoryLast, 1);
  ASSERT_FALSE(s.F().TimerForCycle.Enabled());
  s.Play("key 13\nwait 200\nstate\n");
  ASSERT_EQ(s.F().HistoryPos, 1);
  const std::string before = s.State();
  const std::vector<TColor> picture = s.Picture();
  s.Play(script);
  EXPECT_EQ(s.State(), before);
  EXPECT_TRUE(s.Picture() == picture);
  EXPECT_FALSE(s.P().Closed());
}

}  // namespace
}  // namespace tavoren::headless
