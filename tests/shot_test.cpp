// Shot input, the strike and the judgement of a finished shot, driven as a
// player drives them: through the handlers and the headless timeline.
#include <cmath>

#include "game_fixture.h"
#include "render/painters.h"

namespace tavoren::testing {
namespace {

using ShotInput = GameTest;

TEST_F(ShotInput, RegionIsChosenByXAlone) {
  Rack();
  const double aimX = f.AimX, spinX = f.SpinX, power = f.Power;
  Play("drag 879 600\n");  // y below the table still aims
  EXPECT_EQ(f.AimX, 879.0 - f.Balls[0].X);
  EXPECT_EQ(f.AimY, 600.0 - f.Balls[0].Y);
  EXPECT_EQ(f.SpinX, spinX);
  EXPECT_EQ(f.Power, power);

  const double aimAfterTable = f.AimX;
  Play("drag 880 240\n");  // left edge of the spin disc's region: 50 left, pulled in to 18
  EXPECT_EQ(f.AimX, aimAfterTable);
  EXPECT_EQ(f.SpinX, -0.6);
  Play("drag 979 240\n");
  EXPECT_EQ(f.SpinX, 0.6);
  Play("drag 980 240\n");  // the power bar
  EXPECT_EQ(f.Power, 0.1);
  EXPECT_NE(aimX, f.AimX);
}

TEST_F(ShotInput, SpinIsLimitedTo18PixelsFromTheDiscCentre) {
  Rack();
  Play("drag 960 240\n");
  EXPECT_EQ(f.SpinX, 0.6);
  EXPECT_EQ(f.SpinY, 0.0);
  Play("drag 930 230\n");
  EXPECT_EQ(f.SpinX, 0.0);
  EXPECT_EQ(f.SpinY, 10.0 / 30.0);
  Play("drag 930 258\n");  // exactly at the limit: unscaled
  EXPECT_EQ(f.SpinY, -0.6);
  Play("drag 900 200\n");  // 50 pixels out along (-30, -40): lands at (-10.8, -14.4)
  EXPECT_NEAR(f.SpinX, -0.36, 1e-15);
  EXPECT_NEAR(f.SpinY, 0.48, 1e-15);
  EXPECT_LE(f.SpinX * f.SpinX + f.SpinY * f.SpinY, 0.36 + 1e-15);
}

TEST_F(ShotInput, PowerFollowsTheClampedRow) {
  Rack();
  const struct {
    int row;
    double power;
  } cases[] = {{0, 0.2},   {40, 0.2},      {240, 0.1}, {440, 0.0},
               {480, 0.0}, {-100000, 0.2}, {340, 0.05}};
  for (const auto& c : cases) {
    Play("drag 1000 " + std::to_string(c.row) + "\n");
    EXPECT_DOUBLE_EQ(f.Power, c.power) << "row " << c.row;
    // The bar shows the level at the pointer's clamped row.
    EXPECT_EQ(PowerBarLevel(f.Power), std::clamp(c.row, 40, 440)) << "row " << c.row;
  }
}

TEST_F(ShotInput, AcceptedEventDiscardsTheFutureAndShowsTheAimingText) {
  Rack();
  f.HistoryPos = 2;
  f.HistoryLast = 5;
  f.PanelForMsg.SetCaption(msg::kUndone);
  Play("press 930 240\n");  // a click counts
  EXPECT_EQ(f.HistoryLast, 2);
  EXPECT_EQ(Panel(), msg::kAiming);
}

TEST_F(ShotInput, RightButtonAndRunningTableChangeNothing) {
  Rack();
  f.HistoryPos = 1;
  f.HistoryLast = 3;
  f.PanelForMsg.SetCaption(msg::kUndone);
  const double aimX = f.AimX, aimY = f.AimY, power = f.Power;
  Play("press-right 500 100\nmove 500 100\nmove 1000 100\npress-right 1000 300\n");
  EXPECT_EQ(f.AimX, aimX);
  EXPECT_EQ(f.AimY, aimY);
  EXPECT_EQ(f.Power, power);
  EXPECT_EQ(f.HistoryLast, 3);
  EXPECT_EQ(Panel(), msg::kUndone);

  Play("key 13\n");  // balls move now
  ASSERT_TRUE(Running());
  const double movingAimX = f.AimX, spinX = f.SpinX;
  Play("wait 40\ndrag 300 300\ndrag 950 240\ndrag 1000 40\n");
  EXPECT_EQ(f.AimX, movingAimX);
  EXPECT_EQ(f.SpinX, spinX);
  EXPECT_EQ(f.Power, 0.08);
  EXPECT_EQ(Panel(), msg::kStrike);
}

TEST_F(ShotInput, PointerFarOutsideTheWindowIsHandledSafely) {
  Rack();
  Play("drag 930 -2147483648\n");  // straight up from the disc, as far as it goes
  EXPECT_EQ(f.SpinX, 0.0);
  EXPECT_EQ(f.SpinY, 0.6);
  Play("drag 930 2147483647\n");
  EXPECT_EQ(f.SpinY, -0.6);
  Play("drag 2147483647 -2147483648\n");
  EXPECT_EQ(f.Power, 0.2);
  Play("drag -2147483648 2147483647\npaint\n");  // a very long cue line
  EXPECT_EQ(f.AimX, -2147483648.0 - f.Balls[0].X);
  // The visible stretch of the line still runs down-left at 45 degrees.
  const int cx = static_cast<int>(std::nearbyint(f.Balls[0].X));
  const int cy = static_cast<int>(std::nearbyint(f.Balls[0].Y));
  int red = 0;
  for (int d = 20; d < 100; ++d) {
    for (int e = -1; e <= 1; ++e) red += f.Canvas.Pixel(cx - d, cy + d + e) == colors::kRed;
  }
  EXPECT_GE(red, 80);
}

TEST_F(ShotInput, NothingMovesWithTheCueBallOffTheTable) {
  Rack();
  f.Balls[0].OnTable = false;
  const double aimX = f.AimX;
  Play("drag 100 100\n");
  EXPECT_EQ(f.AimX, aimX);
}

struct StrikeCase {
  double aimX, aimY, spinX, spinY, power;
  double vx, vy, rollX, rollY, sideSpin;
};

class Strike : public GameTest, public ::testing::WithParamInterface<StrikeCase> {};

TEST_P(Strike, TurnsSettingsIntoTheCueBallsMotion) {
  const StrikeCase c = GetParam();
  Rack();
  const TBall before = f.Balls[0];
  f.AimX = c.aimX;
  f.AimY = c.aimY;
  f.SpinX = c.spinX;
  f.SpinY = c.spinY;
  f.Power = c.power;
  f.LegalFirstHit = f.CushionHit = f.FirstContactSeen = true;
  Play("key 13\n");
  const TBall& cue = f.Balls[0];
  EXPECT_NEAR(cue.VX, c.vx, 1e-16);
  EXPECT_NEAR(cue.VY, c.vy, 1e-16);
  EXPECT_NEAR(cue.RollX, c.rollX, 1e-16);
  EXPECT_NEAR(cue.RollY, c.rollY, 1e-16);
  EXPECT_NEAR(cue.SideSpin, c.sideSpin, 1e-16);
  EXPECT_EQ(cue.X, before.X);
  EXPECT_EQ(cue.Y, before.Y);
  EXPECT_EQ(f.Power, 0.08);
  EXPECT_EQ(f.AimX, c.aimX);
  EXPECT_EQ(f.SpinX, c.spinX);
  EXPECT_FALSE(f.FirstContactSeen);
  EXPECT_FALSE(f.LegalFirstHit);
  EXPECT_FALSE(f.CushionHit);
  EXPECT_TRUE(Running());
  EXPECT_EQ(Panel(), msg::kStrike);
  // The strip is bare while balls move.
  EXPECT_EQ(f.Canvas.Pixel(930, 240), colors::kStrip);
}

INSTANTIATE_TEST_SUITE_P(Examples, Strike,
                         ::testing::Values(StrikeCase{3, 4, 0, 0, 0.2, 0.12, 0.16, 0, 0, 0},
                                           StrikeCase{1, 0, 0, 0.6, 0.2, 0.128, 0, 0.12, 0, 0},
                                           StrikeCase{1, 0, -0.6, 0, 0.2, 0.128, 0, 0, 0, -0.12},
                                           StrikeCase{0, -2, 0, -0.3, 0.1, 0, -0.091, 0, 0.03, 0}));

TEST_F(ShotInput, EnterWithAZeroLengthAimDoesNothing) {
  Rack();
  f.AimX = 0.0;
  f.AimY = 0.0;
  const TBall cue = f.Balls[0];
  const double power = f.Power;
  Play("key 13\nwait 200\n");
  EXPECT_FALSE(Running());
  EXPECT_EQ(f.HistoryPos, 0);
  EXPECT_EQ(f.HistoryLast, 0);
  EXPECT_EQ(f.Power, power);
  EXPECT_TRUE(SameBall(f.Balls[0], cue));
  EXPECT_EQ(Panel(), msg::kAiming);
}

TEST_F(ShotInput, PointerOnTheCueBallCentreGivesZeroAimAndNoNaN) {
  Rack();
  // Put the cue ball on whole pixels so the pointer can land on its centre.
  f.Balls[0].X = 240.0;
  f.Balls[0].Y = 240.0;
  Play("drag 240 240\nkey 13\nsettle 1000\n");
  for (const TBall& b : f.Balls) {
    EXPECT_FALSE(std::isnan(b.VX) || std::isnan(b.X));
  }
  EXPECT_FALSE(Running());
}

// --- Judgement of a finished shot ---

using Judgement = GameTest;

// A table at rest in the running mode, as a shot leaves it.
void EndOfShot(TForm1& f, bool legalFirst, bool cushion) {
  f.LegalFirstHit = legalFirst;
  f.CushionHit = cushion;
  f.TimerForCycle.SetEnabled(true);
}

TEST_F(Judgement, SpinningBallKeepsTheShotRunning) {
  Rack();
  EndOfShot(f, true, true);
  f.PanelForMsg.SetCaption(msg::kStrike);
  f.Balls[4].SideSpin = 0.5;  // spinning on the spot: 0.5 takes many ticks to decay
  EXPECT_FALSE(f.CheckShotEnd());
  EXPECT_TRUE(Running());
  EXPECT_EQ(Panel(), msg::kStrike);
}

TEST_F(Judgement, PocketedBallsVelocityIsIgnored) {
  Rack();
  EndOfShot(f, true, true);
  f.Balls[5].OnTable = false;
  f.Balls[5].VX = 0.3;
  f.Balls[5].SideSpin = -0.1;
  EXPECT_TRUE(f.CheckShotEnd());
  EXPECT_FALSE(Running());
  EXPECT_EQ(Panel(), msg::kAiming);
}

TEST_F(Judgement, ScratchComesFirstEvenWithTheNineBall) {
  Rack();
  EndOfShot(f, false, false);
  f.Balls[0].OnTable = false;
  f.Balls[9].OnTable = false;
  EXPECT_FALSE(f.CheckShotEnd());
  EXPECT_TRUE(Running());
  EXPECT_EQ(Panel(), msg::kScratch);
  // The foul holds: the next tick says it again, input stays dead.
  f.PanelForMsg.SetCaption("");
  Play("wait 41\ndrag 300 300\nkey 13\n");
  EXPECT_EQ(Panel(), msg::kScratch);
  EXPECT_TRUE(Running());
  EXPECT_EQ(f.HistoryPos, 0);
}

TEST_F(Judgement, ScratchWithTheLastObjectBallIsNoGameOver) {
  Rack();
  EndOfShot(f, true, true);
  for (TBall& b : f.Balls) b.OnTable = false;
  EXPECT_FALSE(f.CheckShotEnd());
  EXPECT_EQ(Panel(), msg::kScratch);
  EXPECT_EQ(f.TargetBall, 1);
}

TEST_F(Judgement, WrongFirstContactAndNoCushion) {
  Rack();
  EndOfShot(f, false, true);   // no contact at all, or a wrong ball first
  f.Balls[1].OnTable = false;  // even with the target pocketed
  EXPECT_FALSE(f.CheckShotEnd());
  EXPECT_EQ(Panel(), msg::kWrongFirst);
  EXPECT_EQ(f.TargetBall, 1);

  EndOfShot(f, true, false);
  EXPECT_FALSE(f.CheckShotEnd());
  EXPECT_EQ(Panel(), msg::kNoCushion);
  EXPECT_TRUE(Running());
}

TEST_F(Judgement, NineBallEarlySetsUpTheLowestBallWithoutAGuide) {
  Rack();
  EndOfShot(f, true, true);
  f.Balls[1].OnTable = false;
  f.Balls[2].OnTable = false;
  f.Balls[9].OnTable = false;
  f.SpinX = 0.3;
  f.SpinY = -0.2;
  EXPECT_TRUE(f.CheckShotEnd());
  EXPECT_EQ(f.TargetBall, 3);
  EXPECT_EQ(Panel(), msg::kNineBall);
  EXPECT_EQ(f.AimX, f.Balls[3].X - f.Balls[0].X);
  EXPECT_EQ(f.AimY, f.Balls[3].Y - f.Balls[0].Y);
  EXPECT_EQ(f.SpinX, 0.0);
  EXPECT_EQ(f.SpinY, 0.0);
  EXPECT_FALSE(Running());
  // The picture is the table and the strip without any guide line.
  auto expected = std::make_unique<Framebuffer>();
  PaintCloth(*expected, f);
  PaintRails(*expected);
  PaintPanel(*expected, f, false);
  for (int y = 0; y < kPanelTop; ++y) {
    for (int x = 0; x < kClientWidth; ++x) {
      ASSERT_EQ(f.Canvas.Pixel(x, y), expected->Pixel(x, y)) << x << "," << y;
    }
  }
}

TEST_F(Judgement, LegalShotAimsAtTheNextBallAndDrawsTheGuide) {
  Rack();
  EndOfShot(f, true, true);
  f.Balls[1].OnTable = false;
  EXPECT_TRUE(f.CheckShotEnd());
  EXPECT_EQ(f.TargetBall, 2);
  EXPECT_EQ(Panel(), msg::kAiming);
  // The red cue line leaves the cue ball towards ball 2 (to the right).
  const int cx = static_cast<int>(std::nearbyint(f.Balls[0].X));
  const int cy = static_cast<int>(std::nearbyint(f.Balls[0].Y));
  bool red = false;
  for (int dy = -2; dy <= 2; ++dy) red = red || f.Canvas.Pixel(cx + 20, cy + dy) == colors::kRed;
  EXPECT_TRUE(red);
  EXPECT_EQ(f.Power, 0.4);  // left as it was
}

TEST_F(Judgement, ClearedTableKeepsTheAimAndTargetsTen) {
  Rack();
  EndOfShot(f, true, true);
  for (int i = 1; i <= 9; ++i) f.Balls[i].OnTable = false;
  f.AimX = 12.5;
  f.AimY = -3.0;
  EXPECT_TRUE(f.CheckShotEnd());
  EXPECT_EQ(f.TargetBall, 10);
  EXPECT_EQ(Panel(), msg::kCleared);
  EXPECT_EQ(f.AimX, 12.5);
  EXPECT_EQ(f.AimY, -3.0);
  // A repaint with no target draws the cue line only, and nothing breaks.
  Play("paint\n");
}

TEST_F(Judgement, ABreakIsPlayedToALegalEnd) {
  Rack(4242);
  Play("key 13\nsettle\n");
  ASSERT_EQ(settles.size(), 2u);
  EXPECT_GT(settles.back(), 1000);  // settled (not capped), after a while
  EXPECT_TRUE(f.FirstContactSeen);
  EXPECT_TRUE(f.LegalFirstHit);
  EXPECT_TRUE(f.CushionHit);
  for (const TBall& b : f.Balls) {
    if (!b.OnTable) continue;
    EXPECT_EQ(b.VX, 0.0);
    EXPECT_EQ(b.SideSpin, 0.0);
  }
}

}  // namespace
}  // namespace tavoren::testing
