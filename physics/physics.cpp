#include "physics/physics.h"

#include <algorithm>
#include <cmath>
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
constexpr double kContactSquared = 144.0;

// Reached a cushion at x = 40 or x = 840 (end cushions): corner pocket or
// rebound. The spin is mirrored at the left cushion so both ends share the
// rules of the right one.
void EndCushion(TBall& b, double pocketLength) {
  if (b.Y < 40.0 + pocketLength || b.Y > 440.0 - pocketLength) {
    b.OnTable = false;
    return;
  }
  const bool left = b.X - 6.0 < 40.0;
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

// Reached a cushion at y = 40 or y = 440 (side cushions): corner pocket,
// side pocket, or rebound.
void SideCushion(TBall& b, double pocketLength) {
  if (b.X < 40.0 + pocketLength || b.X > 840.0 - pocketLength) {
    b.OnTable = false;
    return;
  }
  // The side pocket's window slides against the direction of travel and
  // narrows for steep approaches.
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
  b.VY = -kRestitution * b.VY;
  b.RollY = b.RollY + kRollKick * b.VY;
  if (b.RollY / b.VY > 1.0) b.RollY = b.VY;
}

}  // namespace

void CushionStep(TBall& b, bool& cushionHit) {
  // Corner pockets take a ball within 12 * sqrt(2) of a corner along the
  // cushion it reaches.
  const double pocketLength = 12.0 * std::sqrt(2.0);
  if ((b.VX < 0.0 && b.X - 6.0 < 40.0) || (b.VX > 0.0 && b.X + 6.0 > 840.0)) {
    EndCushion(b, pocketLength);
    cushionHit = true;
  }
  // Near a corner both tests fire; a ball the first one pocketed is only
  // pocketed again here.
  if ((b.VY < 0.0 && b.Y - 6.0 < 40.0) || (b.VY > 0.0 && b.Y + 6.0 > 440.0)) {
    SideCushion(b, pocketLength);
    cushionHit = true;
  }
}

void RotateVector(double& x, double& y, double cosA, double sinA) {
  const double rx = x * cosA - y * sinA;
  const double ry = x * sinA + y * cosA;
  x = rx;
  y = ry;
}

void CollisionPhase(TGameState& s) {
  for (int i = 0; i < 10; ++i) {
    if (!s.Balls[i].OnTable) continue;
    for (int j = i + 1; j < 10; ++j) {
      TBall& bi = s.Balls[i];
      TBall& bj = s.Balls[j];
      if (!bj.OnTable) continue;
      const double dx = bj.X - bi.X;
      const double dy = bj.Y - bi.Y;
      const double d2 = dx * dx + dy * dy;
      if (d2 > kContactSquared) continue;
      // Coincident centres give no line of centres: the pair is left alone.
      if (d2 == 0.0) continue;
      const double dist = std::sqrt(d2);
      const double nx = dx / dist;
      const double ny = dy / dist;
      double vix = bi.VX, viy = bi.VY, vjx = bj.VX, vjy = bj.VY;
      // Approaching: the offset one substep ahead is no longer than now.
      const double ex = (dx + vjx) - vix;
      const double ey = (dy + vjy) - viy;
      if (ex * ex + ey * ey > d2) continue;
      RotateVector(vix, viy, nx, -ny);
      RotateVector(vjx, vjy, nx, -ny);
      std::swap(vix, vjx);
      RotateVector(vix, viy, nx, ny);
      RotateVector(vjx, vjy, nx, ny);
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
}

void FrictionStep(TBall& b) {
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
  if (std::fabs(b.SideSpin) < kSpinDecay) {
    b.SideSpin = 0.0;
  } else if (b.SideSpin < 0.0) {
    b.SideSpin = b.SideSpin + kSpinDecay;
  } else {
    b.SideSpin = b.SideSpin - kSpinDecay;
  }
}

void StepPhysics(TGameState& s) {
  for (TBall& b : s.Balls) {
    if (!b.OnTable) continue;
    b.X = b.X + b.VX;
    b.Y = b.Y + b.VY;
  }
  for (TBall& b : s.Balls) {
    if (b.OnTable) CushionStep(b, s.CushionHit);
  }
  CollisionPhase(s);
  for (TBall& b : s.Balls) {
    if (b.OnTable) FrictionStep(b);
  }
}

}  // namespace tavoren
