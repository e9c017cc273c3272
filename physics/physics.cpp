#include "physics/physics.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

namespace tavoren {

namespace {

constexpr double kVelocityShare = 2.0 / 7.0;
constexpr double kRollShare = 5.0 / 7.0;
constexpr double kSlideStep = 1e-5;
constexpr double kRollingDecel = 4e-7;
constexpr double kSpinDecay = 1e-6;
constexpr double kRestitution = 0.8;
constexpr double kRollKick = 1.8;
constexpr double kContact = table::kContact;
// The cushions lie along the cloth's edges; a ball reaches one when its edge
// passes the line.
constexpr double kLeft = table::kClothLeft, kRight = table::kClothRight;
constexpr double kTop = table::kClothTop, kBottom = table::kClothBottom;
constexpr double kRadius = table::kBallRadius;
// The side pockets' window: a ball's radius either side of the middle for a
// straight approach, 434 to 446.
constexpr double kSideWindowLeft = table::kMiddleX - table::kBallRadius;
constexpr double kSideWindowRight = table::kMiddleX + table::kBallRadius;
constexpr double kContactSquared = kContact * kContact;

// Reached a cushion at x = kLeft or x = kRight (end cushions): corner pocket or
// rebound. The spin is mirrored at the left cushion so both ends share the
// rules of the right one.
void EndCushion(TBall& b, double pocketLength) {
  if (b.Y < kTop + pocketLength || b.Y > kBottom - pocketLength) {
    b.OnTable = false;
    return;
  }
  const bool left = b.X - kRadius < kLeft;
  if (left) b.SideSpin = -b.SideSpin;
  double t = b.SideSpin - b.VY;
  if (std::fabs(t) < 0.5 * std::fabs(b.VX)) {
    b.VY = b.VY + kVelocityShare * t;
    b.SideSpin = b.VY;
  } else {
    t = (t / std::fabs(t)) * 0.5 * std::fabs(b.VX);
    b.VY = b.VY + kVelocityShare * t;
    b.SideSpin = b.SideSpin - kRollShare * t;
  }
  if (left) b.SideSpin = -b.SideSpin;
  b.VX = -kRestitution * b.VX;
  b.RollX = b.RollX + kRollKick * b.VX;
  if (b.RollX / b.VX > 1.0) b.RollX = b.VX;
}

// Reached a cushion at y = kTop or y = kBottom (side cushions): corner pocket,
// side pocket, or rebound.
void SideCushion(TBall& b, double pocketLength) {
  if (b.X < kLeft + pocketLength || b.X > kRight - pocketLength) {
    b.OnTable = false;
    return;
  }
  // The side pocket's window slides against the direction of travel and
  // narrows for steep approaches.
  const double m = b.VX / std::fabs(b.VY);
  const double leftLimit = kSideWindowLeft + kRadius * std::max(-m, -1.0);
  const double rightLimit = kSideWindowRight - kRadius * std::max(m, -1.0);
  if (leftLimit < b.X && b.X < rightLimit) {
    b.OnTable = false;
    return;
  }
  const bool bottom = b.Y + kRadius > kBottom;
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
  b.VY = -kRestitution * b.VY;
  b.RollY = b.RollY + kRollKick * b.VY;
  if (b.RollY / b.VY > 1.0) b.RollY = b.VY;
}

// The bodies of the phases, inlined into the substep; the named functions
// of the header, which the tests call one by one, are one-line wrappers.
// Without the inline bodies GCC calls CushionStep and FrictionStep from
// StepPhysics instead of inlining them, and a break simulated to rest takes
// measurably longer.

inline void CushionStepImpl(TBall& b, bool& cushionHit) {
  // Corner pockets take a ball within 12 * sqrt(2) of a corner along the
  // cushion it reaches: twice a ball's reach along the diagonal.
  const double pocketLength = kContact * std::sqrt(2.0);
  // The position is tested first: it is the part that is rarely true.
  if ((b.X - kRadius < kLeft && b.VX < 0.0) || (b.X + kRadius > kRight && b.VX > 0.0)) {
    EndCushion(b, pocketLength);
    cushionHit = true;
  }
  // Near a corner both tests fire; a ball the first one pocketed is only
  // pocketed again here.
  if ((b.Y - kRadius < kTop && b.VY < 0.0) || (b.Y + kRadius > kBottom && b.VY > 0.0)) {
    SideCushion(b, pocketLength);
    cushionHit = true;
  }
}

inline void RotateVectorImpl(double& x, double& y, double cosA, double sinA) {
  const double rx = x * cosA - y * sinA;
  const double ry = x * sinA + y * cosA;
  x = rx;
  y = ry;
}

// One pair, i < j, both on the table and no more than 12 apart.
inline void Collide(TGameState& s, int i, int j) {
  TBall& bi = s.Balls[i];
  TBall& bj = s.Balls[j];
  const double dx = bj.X - bi.X;
  const double dy = bj.Y - bi.Y;
  const double d2 = dx * dx + dy * dy;
  if (d2 > kContactSquared) return;
  // Coincident centres give no line of centres: the pair is left alone.
  if (d2 == 0.0) return;
  double vix = bi.VX, viy = bi.VY, vjx = bj.VX, vjy = bj.VY;
  // Approaching: the offset one substep ahead is no longer than now.
  const double ex = (dx + vjx) - vix;
  const double ey = (dy + vjy) - viy;
  if (ex * ex + ey * ey > d2) return;
  double nx, ny;
  if (vix == 0.0 && viy == 0.0 && vjx == 0.0 && vjy == 0.0) {
    // Two touching balls standing still (a rack, a foul waiting): the
    // exchange only moves zeros about, and a zero times a component of the
    // unit normal is a zero whose sign depends on the signs alone. Stand-ins
    // with the normal's signs give the very same zeros without the square
    // root and the divisions.
    nx = std::copysign(1.0, dx);
    ny = std::copysign(1.0, dy);
  } else {
    const double dist = std::sqrt(d2);
    nx = dx / dist;
    ny = dy / dist;
  }
  RotateVectorImpl(vix, viy, nx, -ny);
  RotateVectorImpl(vjx, vjy, nx, -ny);
  std::swap(vix, vjx);
  RotateVectorImpl(vix, viy, nx, ny);
  RotateVectorImpl(vjx, vjy, nx, ny);
  bi.VX = vix;
  bi.VY = viy;
  bj.VX = vjx;
  bj.VY = vjy;
  if (i == 0) {
    if (!s.FirstContactSeen && j == s.TargetBall) s.LegalFirstHit = true;
    s.FirstContactSeen = true;
  }
}

// Where pair (i, j), i < j, comes in the order of examination (0,1), (0,2)
// ... (0,9), (1,2) ... (8,9), and back.
struct PairOrder {
  int index[10][10] = {};
  int first[45] = {}, second[45] = {};
  constexpr PairOrder() {
    int k = 0;
    for (int i = 0; i < 10; ++i) {
      for (int j = i + 1; j < 10; ++j) {
        index[i][j] = k;
        first[k] = i;
        second[k] = j;
        ++k;
      }
    }
  }
};
constexpr PairOrder kPairOrder;

// The pairs are examined in the order (0,1), (0,2) ... (8,9), and an earlier
// pair's exchange is seen by the later ones. Only pairs whose centres are
// within 12 of each other along x can touch (beyond that the squared
// distance exceeds 144 exactly as computed), so the balls on the table are
// swept in order of x to find those pairs first; they are then examined in
// the usual order. Positions and the set of balls on the table do not change
// during this phase.
inline void CollisionPhaseImpl(TGameState& s) {
  int order[10];
  double xs[10];
  int n = 0;
  for (int i = 0; i < 10; ++i) {
    if (!s.Balls[i].OnTable) continue;
    const double x = s.Balls[i].X;
    int k = n++;
    for (; k > 0 && xs[k - 1] > x; --k) {
      xs[k] = xs[k - 1];
      order[k] = order[k - 1];
    }
    xs[k] = x;
    order[k] = i;
  }
  std::uint64_t candidates = 0;  // bit k: pair number k of the order
  for (int a = 0; a < n; ++a) {
    for (int b = a + 1; b < n && !(xs[b] - xs[a] > kContact); ++b) {
      const int i = std::min(order[a], order[b]);
      const int j = std::max(order[a], order[b]);
      if (std::fabs(s.Balls[j].Y - s.Balls[i].Y) > kContact) continue;
      candidates |= std::uint64_t{1} << kPairOrder.index[i][j];
    }
  }
  for (; candidates != 0; candidates &= candidates - 1) {
    const int k = std::countr_zero(candidates);
    Collide(s, kPairOrder.first[k], kPairOrder.second[k]);
  }
}

inline void SpinDecay(double& spin) {
  if (std::fabs(spin) < kSpinDecay) {
    spin = 0.0;
  } else if (spin < 0.0) {
    spin = spin + kSpinDecay;
  } else {
    spin = spin - kSpinDecay;
  }
}

inline void FrictionStepImpl(TBall& b) {
  if (b.VX != b.RollX || b.VY != b.RollY) {
    const double dx = b.RollX - b.VX;
    const double dy = b.RollY - b.VY;
    const double slide = std::sqrt(dx * dx + dy * dy);
    if (slide < kSlideStep) {
      b.VX = b.VX + kVelocityShare * dx;
      b.VY = b.VY + kVelocityShare * dy;
      b.RollX = b.VX;
      b.RollY = b.VY;
    } else {
      const double ux = (dx / slide) * kSlideStep;
      const double uy = (dy / slide) * kSlideStep;
      b.VX = b.VX + kVelocityShare * ux;
      b.VY = b.VY + kVelocityShare * uy;
      b.RollX = b.RollX - kRollShare * ux;
      b.RollY = b.RollY - kRollShare * uy;
    }
  } else if (b.VX == 0.0 && b.VY == 0.0) {
    // At rest: the rolling rule below would find speed 0 and store the same
    // positive zeros.
    b.VX = 0.0;
    b.VY = 0.0;
    b.RollX = 0.0;
    b.RollY = 0.0;
  } else {
    const double v = std::sqrt(b.VX * b.VX + b.VY * b.VY);
    if (v < kRollingDecel) {
      b.VX = 0.0;
      b.VY = 0.0;
    } else {
      b.VX = b.VX - (b.VX / v) * kRollingDecel;
      b.VY = b.VY - (b.VY / v) * kRollingDecel;
    }
    b.RollX = b.VX;
    b.RollY = b.VY;
  }
  SpinDecay(b.SideSpin);
}

// True when no ball on the table has any velocity or roll (zeros of either
// sign): only side spin may be left to decay.
bool NothingRolls(const TGameState& s) {
  for (const TBall& b : s.Balls) {
    if (b.OnTable && (b.VX != 0.0 || b.VY != 0.0 || b.RollX != 0.0 || b.RollY != 0.0)) {
      return false;
    }
  }
  return true;
}

// The substep of a table on which nothing rolls. Motion adds zeros and no
// ball reaches a cushion moving towards it. Every touching pair counts as
// approaching but exchanges nothing but zeros, which the friction step then
// replaces with positive zeros: it finds every ball at rest. What is left:
// the cue ball's contacts set the flags, and side spin decays.
void StepStillTable(TGameState& s) {
  for (TBall& b : s.Balls) {
    if (!b.OnTable) continue;
    b.X = b.X + b.VX;
    b.Y = b.Y + b.VY;
    b.VX = 0.0;
    b.VY = 0.0;
    b.RollX = 0.0;
    b.RollY = 0.0;
    SpinDecay(b.SideSpin);
  }
  // Once a first contact is seen, contacts change no flag.
  const TBall& cue = s.Balls[0];
  if (s.FirstContactSeen || !cue.OnTable) return;
  for (int j = 1; j < 10; ++j) {
    const TBall& b = s.Balls[j];
    if (!b.OnTable) continue;
    const double dx = b.X - cue.X;
    const double dy = b.Y - cue.Y;
    const double d2 = dx * dx + dy * dy;
    if (d2 > kContactSquared || d2 == 0.0) continue;
    if (!s.FirstContactSeen && j == s.TargetBall) s.LegalFirstHit = true;
    s.FirstContactSeen = true;
  }
}

}  // namespace

void CushionStep(TBall& b, bool& cushionHit) { CushionStepImpl(b, cushionHit); }

void RotateVector(double& x, double& y, double cosA, double sinA) {
  RotateVectorImpl(x, y, cosA, sinA);
}

void CollisionPhase(TGameState& s) { CollisionPhaseImpl(s); }

void FrictionStep(TBall& b) { FrictionStepImpl(b); }

void StepPhysics(TGameState& s) {
  if (NothingRolls(s)) {
    StepStillTable(s);
    return;
  }
  // Phases 1 and 2 in one pass: the cushion step of a ball looks at nothing
  // but that ball, so moving every ball first changes nothing.
  for (TBall& b : s.Balls) {
    if (!b.OnTable) continue;
    b.X = b.X + b.VX;
    b.Y = b.Y + b.VY;
    CushionStepImpl(b, s.CushionHit);
  }
  CollisionPhaseImpl(s);
  for (TBall& b : s.Balls) {
    if (b.OnTable) FrictionStepImpl(b);
  }
}

}  // namespace tavoren
