// The substep takes shortcuts for speed: phases 1 and 2 share one pass over
// the balls, the collision phase finds its candidate pairs by a sweep along
// x, resting balls skip the square root of the friction step, and a table on
// which nothing rolls skips all but the spin decay and the cue ball's
// contacts. None of this
// may change a single bit of the result, because replays and recorded shots
// rely on the simulation repeating itself exactly. This test keeps the plain
// phase-by-phase substep, written out rule by rule without any shortcut, and
// compares the two bit for bit on many random tables and on a real break.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "app/form.h"
#include "game/state.h"
#include "physics/physics.h"
#include "split_mix.h"
#include "tests/support.h"

namespace tavoren {
namespace {

// ---- The plain substep ----

namespace plain {

int exchanges = 0;  // pairs that exchanged their normal components

void EndCushion(TBall& b, double pocketLength) {
  if (b.Y < 40.0 + pocketLength || b.Y > 440.0 - pocketLength) {
    b.OnTable = false;
    return;
  }
  const bool left = b.X - 6.0 < 40.0;
  if (left) b.SideSpin = -b.SideSpin;
  double t = b.SideSpin - b.VY;
  if (std::fabs(t) < 0.5 * std::fabs(b.VX)) {
    b.VY = b.VY + (2.0 / 7.0) * t;
    b.SideSpin = b.VY;
  } else {
    t = (t / std::fabs(t)) * 0.5 * std::fabs(b.VX);
    b.VY = b.VY + (2.0 / 7.0) * t;
    b.SideSpin = b.SideSpin - (5.0 / 7.0) * t;
  }
  if (left) b.SideSpin = -b.SideSpin;
  b.VX = -0.8 * b.VX;
  b.RollX = b.RollX + 1.8 * b.VX;
  if (b.RollX / b.VX > 1.0) b.RollX = b.VX;
}

void SideCushion(TBall& b, double pocketLength) {
  if (b.X < 40.0 + pocketLength || b.X > 840.0 - pocketLength) {
    b.OnTable = false;
    return;
  }
  const double m = b.VX / std::fabs(b.VY);
  const double leftLimit = 434.0 + 6.0 * std::max(-m, -1.0);
  const double rightLimit = 446.0 - 6.0 * std::max(m, -1.0);
  if (leftLimit < b.X && b.X < rightLimit) {
    b.OnTable = false;
    return;
  }
  const bool bottom = b.Y + 6.0 > 440.0;
  if (bottom) b.SideSpin = -b.SideSpin;
  double t = b.SideSpin - b.VX;
  if (std::fabs(t) < 0.5 * std::fabs(b.VY)) {
    b.VX = b.VX + 0.5 * t;
    b.SideSpin = b.VX;
  } else {
    t = (t / std::fabs(t)) * 0.5 * std::fabs(b.VY);
    b.VX = b.VX + t;
    b.SideSpin = b.SideSpin - t;
  }
  if (bottom) b.SideSpin = -b.SideSpin;
  b.VY = -0.8 * b.VY;
  b.RollY = b.RollY + 1.8 * b.VY;
  if (b.RollY / b.VY > 1.0) b.RollY = b.VY;
}

void Rotate(double& x, double& y, double cosA, double sinA) {
  const double rx = x * cosA - y * sinA;
  const double ry = x * sinA + y * cosA;
  x = rx;
  y = ry;
}

void Step(TGameState& s) {
  // Phase 1: motion.
  for (TBall& b : s.Balls) {
    if (!b.OnTable) continue;
    b.X = b.X + b.VX;
    b.Y = b.Y + b.VY;
  }
  // Phase 2: cushions and pockets.
  const double pocketLength = 12.0 * std::sqrt(2.0);
  for (TBall& b : s.Balls) {
    if (!b.OnTable) continue;
    if ((b.VX < 0.0 && b.X - 6.0 < 40.0) || (b.VX > 0.0 && b.X + 6.0 > 840.0)) {
      EndCushion(b, pocketLength);
      s.CushionHit = true;
    }
    if ((b.VY < 0.0 && b.Y - 6.0 < 40.0) || (b.VY > 0.0 && b.Y + 6.0 > 440.0)) {
      SideCushion(b, pocketLength);
      s.CushionHit = true;
    }
  }
  // Phase 3: every pair in the order (0,1), (0,2) ... (8,9).
  for (int i = 0; i < 10; ++i) {
    if (!s.Balls[i].OnTable) continue;
    for (int j = i + 1; j < 10; ++j) {
      TBall& bi = s.Balls[i];
      TBall& bj = s.Balls[j];
      if (!bj.OnTable) continue;
      const double dx = bj.X - bi.X;
      const double dy = bj.Y - bi.Y;
      const double d2 = dx * dx + dy * dy;
      if (d2 > 144.0) continue;
      if (d2 == 0.0) continue;
      const double dist = std::sqrt(d2);
      const double nx = dx / dist;
      const double ny = dy / dist;
      double vix = bi.VX, viy = bi.VY, vjx = bj.VX, vjy = bj.VY;
      const double ex = (dx + vjx) - vix;
      const double ey = (dy + vjy) - viy;
      if (ex * ex + ey * ey > d2) continue;
      Rotate(vix, viy, nx, -ny);
      Rotate(vjx, vjy, nx, -ny);
      std::swap(vix, vjx);
      ++exchanges;
      Rotate(vix, viy, nx, ny);
      Rotate(vjx, vjy, nx, ny);
      bi.VX = vix;
      bi.VY = viy;
      bj.VX = vjx;
      bj.VY = vjy;
      if (i == 0) {
        if (!s.FirstContactSeen && j == s.TargetBall) s.LegalFirstHit = true;
        s.FirstContactSeen = true;
      }
    }
  }
  // Phase 4: cloth friction and side-spin decay.
  for (TBall& b : s.Balls) {
    if (!b.OnTable) continue;
    if (b.VX != b.RollX || b.VY != b.RollY) {
      const double dx = b.RollX - b.VX;
      const double dy = b.RollY - b.VY;
      const double slide = std::sqrt(dx * dx + dy * dy);
      if (slide < 1e-5) {
        b.VX = b.VX + (2.0 / 7.0) * dx;
        b.VY = b.VY + (2.0 / 7.0) * dy;
        b.RollX = b.VX;
        b.RollY = b.VY;
      } else {
        const double ux = (dx / slide) * 1e-5;
        const double uy = (dy / slide) * 1e-5;
        b.VX = b.VX + (2.0 / 7.0) * ux;
        b.VY = b.VY + (2.0 / 7.0) * uy;
        b.RollX = b.RollX - (5.0 / 7.0) * ux;
        b.RollY = b.RollY - (5.0 / 7.0) * uy;
      }
    } else {
      const double v = std::sqrt(b.VX * b.VX + b.VY * b.VY);
      if (v < 4e-7) {
        b.VX = 0.0;
        b.VY = 0.0;
      } else {
        b.VX = b.VX - (b.VX / v) * 4e-7;
        b.VY = b.VY - (b.VY / v) * 4e-7;
      }
      b.RollX = b.VX;
      b.RollY = b.VY;
    }
    if (std::fabs(b.SideSpin) < 1e-6) {
      b.SideSpin = 0.0;
    } else if (b.SideSpin < 0.0) {
      b.SideSpin = b.SideSpin + 1e-6;
    } else {
      b.SideSpin = b.SideSpin - 1e-6;
    }
  }
}

}  // namespace plain

// ---- Comparison ----

using testing::Bits;

// Empty when the two tables agree bit for bit, else what differs first.
std::string Difference(const TGameState& a, const TGameState& b) {
  for (int i = 0; i < 10; ++i) {
    const TBall& p = a.Balls[i];
    const TBall& q = b.Balls[i];
    const double pv[7] = {p.X, p.Y, p.VX, p.VY, p.RollX, p.RollY, p.SideSpin};
    const double qv[7] = {q.X, q.Y, q.VX, q.VY, q.RollX, q.RollY, q.SideSpin};
    static const char* const names[7] = {"X", "Y", "VX", "VY", "RollX", "RollY", "SideSpin"};
    if (p.OnTable != q.OnTable) return "ball " + std::to_string(i) + " OnTable";
    for (int k = 0; k < 7; ++k) {
      if (Bits(pv[k]) != Bits(qv[k])) {
        char text[160];
        std::snprintf(text, sizeof text, "ball %d %s: %a (plain) vs %a", i, names[k], pv[k], qv[k]);
        return text;
      }
    }
  }
  if (a.CushionHit != b.CushionHit) return "CushionHit";
  if (a.FirstContactSeen != b.FirstContactSeen) return "FirstContactSeen";
  if (a.LegalFirstHit != b.LegalFirstHit) return "LegalFirstHit";
  return {};
}

using Random = testing::SplitMix64;

// A crowded table: balls in a small region (so they meet often), often near
// a cushion or a pocket, with every kind of motion, including exact rest,
// negative zeros, natural roll, tiny speeds near the thresholds, and balls
// already pocketed.
void RandomTable(Random& r, TGameState& s) {
  s = TGameState{};
  const double cx = r.Chance(50) ? r.Range(40.0, 840.0) : (r.Chance(50) ? 46.0 : 434.0);
  const double cy = r.Chance(50) ? r.Range(40.0, 440.0) : (r.Chance(50) ? 46.0 : 240.0);
  const double spread = r.Chance(50) ? 30.0 : 120.0;
  for (int i = 0; i < 10; ++i) {
    TBall& b = s.Balls[i];
    b.OnTable = !r.Chance(10);
    b.X = std::clamp(cx + r.Range(-spread, spread), 30.0, 850.0);
    b.Y = std::clamp(cy + r.Range(-spread, spread), 30.0, 450.0);
    if (r.Chance(15)) {
      // A whole-pixel place, so two balls may lie exactly 12 apart.
      b.X = std::round(b.X);
      b.Y = std::round(b.Y);
    }
    const int kind = r.Below(6);
    const double speed = kind == 5 ? r.Range(0.0, 1e-6) : r.Range(0.0, 0.45);
    const double angle = r.Range(0.0, 6.283185307179586);
    if (kind == 0) {
      // At rest, zeros of either sign.
      b.VX = r.Chance(50) ? 0.0 : -0.0;
      b.VY = r.Chance(50) ? 0.0 : -0.0;
      b.RollX = r.Chance(50) ? 0.0 : -0.0;
      b.RollY = r.Chance(50) ? 0.0 : -0.0;
    } else {
      b.VX = speed * std::cos(angle);
      b.VY = speed * std::sin(angle);
      if (kind == 1 || kind == 5) {
        b.RollX = b.VX;  // rolling
        b.RollY = b.VY;
      } else if (kind == 2) {
        b.RollX = b.VX + r.Range(-3e-5, 3e-5);  // almost rolling
        b.RollY = b.VY;
      } else {
        b.RollX = r.Range(-0.4, 0.4);
        b.RollY = r.Range(-0.4, 0.4);
      }
    }
    b.SideSpin = r.Chance(40) ? 0.0 : r.Range(-0.2, 0.2);
  }
  s.TargetBall = 1 + r.Below(10);
  s.FirstContactSeen = r.Chance(50);
  s.LegalFirstHit = r.Chance(50);
  s.CushionHit = r.Chance(50);
}

// Runs the plain substep on one table and the real one on a copy of it;
// empty when the two agree bit for bit after every substep, else where they
// first part.
std::string RunSideBySide(TGameState& plainState, TGameState& fastState, int substeps) {
  fastState = plainState;
  for (int step = 0; step < substeps; ++step) {
    plain::Step(plainState);
    StepPhysics(fastState);
    const std::string diff = Difference(plainState, fastState);
    if (!diff.empty()) return "substep " + std::to_string(step) + ": " + diff;
  }
  return {};
}

TEST(PhysicsEquivalence, RandomCrowdedTablesMatchThePlainSubstepBitForBit) {
  auto plainState = std::make_unique<TGameState>();
  auto fastState = std::make_unique<TGameState>();
  Random r(20240611);
  plain::exchanges = 0;
  int pocketed = 0;
  for (int table = 0; table < 400; ++table) {
    RandomTable(r, *plainState);
    const std::string diff = RunSideBySide(*plainState, *fastState, 3000);
    ASSERT_TRUE(diff.empty()) << "table " << table << ", " << diff;
    for (const TBall& b : plainState->Balls) pocketed += b.OnTable ? 0 : 1;
  }
  // The tables must actually have exercised the interesting paths.
  EXPECT_GT(plain::exchanges, 1000);
  EXPECT_GT(pocketed, 400);
}

// A table on which nothing rolls: velocities and rolls are zeros of either
// sign, side spin may be left; now and then one ball has a roll. The balls
// lie close together, so many touch, the cue ball among them; some share a
// centre, some lie exactly 12 apart.
void RandomStillTable(Random& r, TGameState& s) {
  s = TGameState{};
  const double cx = r.Range(60.0, 820.0);
  const double cy = r.Range(60.0, 420.0);
  for (int i = 0; i < 10; ++i) {
    TBall& b = s.Balls[i];
    b.OnTable = !r.Chance(10);
    b.X = cx + r.Range(-25.0, 25.0);
    b.Y = cy + r.Range(-25.0, 25.0);
    if (r.Chance(20)) {
      b.X = std::round(b.X);
      b.Y = std::round(b.Y);
    }
    if (i > 0 && r.Chance(5)) {
      b.X = s.Balls[i - 1].X;
      b.Y = s.Balls[i - 1].Y;
    }
    // Negative zeros at the edge of the window: adding a positive zero
    // makes them positive.
    if (r.Chance(3)) b.X = -0.0;
    if (r.Chance(3)) b.Y = -0.0;
    b.VX = r.Chance(50) ? 0.0 : -0.0;
    b.VY = r.Chance(50) ? 0.0 : -0.0;
    b.RollX = r.Chance(50) ? 0.0 : -0.0;
    b.RollY = r.Chance(50) ? 0.0 : -0.0;
    b.SideSpin = r.Chance(30) ? 0.0 : r.Range(-2e-5, 2e-5);
  }
  if (r.Chance(20)) {
    // One ball still, but spinning about a horizontal axis: it starts to
    // move, so this is not a still table.
    TBall& b = s.Balls[r.Below(10)];
    (r.Chance(50) ? b.RollX : b.RollY) = r.Range(-3e-5, 3e-5);
  }
  s.TargetBall = 1 + r.Below(10);
  s.FirstContactSeen = r.Chance(30);
  s.LegalFirstHit = r.Chance(30);
  s.CushionHit = r.Chance(50);
}

TEST(PhysicsEquivalence, StillTablesMatchThePlainSubstepBitForBit) {
  auto plainState = std::make_unique<TGameState>();
  auto fastState = std::make_unique<TGameState>();
  Random r(77031);
  int firstContacts = 0, legalHits = 0, spinsStopped = 0;
  for (int table = 0; table < 3000; ++table) {
    RandomStillTable(r, *plainState);
    const bool firstBefore = plainState->FirstContactSeen;
    const bool legalBefore = plainState->LegalFirstHit;
    double spinBefore[10];
    for (int i = 0; i < 10; ++i) spinBefore[i] = plainState->Balls[i].SideSpin;
    const std::string diff = RunSideBySide(*plainState, *fastState, 30);
    ASSERT_TRUE(diff.empty()) << "table " << table << ", " << diff;
    firstContacts += plainState->FirstContactSeen && !firstBefore;
    legalHits += plainState->LegalFirstHit && !legalBefore;
    for (int i = 0; i < 10; ++i) {
      spinsStopped += spinBefore[i] != 0.0 && plainState->Balls[i].SideSpin == 0.0;
    }
  }
  // The contacts and the spin threshold must actually have been exercised.
  EXPECT_GT(firstContacts, 300);
  EXPECT_GT(legalHits, 30);
  EXPECT_GT(spinsStopped, 300);
}

using testing::StillPlatform;

TEST(PhysicsEquivalence, BreaksFromRealRacksMatchThePlainSubstepToRest) {
  StillPlatform platform;
  auto form = std::make_unique<TForm1>(platform);
  auto plainState = std::make_unique<TGameState>();
  for (std::uint32_t clock : {1u, 4242u, 65535u, 123456789u}) {
    platform.clock = clock;
    form->FormShow();
    form->TimerForCycleTimer();  // the rack's first tick: aiming
    std::uint16_t enter = vk::kReturn;
    form->FormKeyDown(enter, 0);  // the break, at full strength
    *plainState = static_cast<const TGameState&>(*form);
    long substeps = 0;
    bool moving = true;
    while (moving && substeps < 4'000'000) {
      plain::Step(*plainState);
      form->StepPhysics();
      ++substeps;
      const std::string diff = Difference(*plainState, *form);
      ASSERT_TRUE(diff.empty()) << "clock " << clock << ", substep " << substeps << ": " << diff;
      moving = false;
      for (const TBall& b : plainState->Balls) {
        if (b.OnTable &&
            (b.VX != 0.0 || b.VY != 0.0 || b.RollX != 0.0 || b.RollY != 0.0 || b.SideSpin != 0.0)) {
          moving = true;
        }
      }
    }
    EXPECT_FALSE(moving) << "clock " << clock << ": the break never came to rest";
    EXPECT_GT(substeps, 10000) << "clock " << clock;
  }
}

}  // namespace
}  // namespace tavoren
