#include "render/painters.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tavoren {

namespace {
// The painters run over as many rows as the table has columns; rows past
// the client area are clipped.
constexpr int kLastRow = 880;
}  // namespace

void PaintCloth(Framebuffer& fb, const TGameState& s) {
  // Each ball's pixel centre, rounded once rather than on every row.
  int cx[10], cy[10];
  for (int i = 0; i < 10; ++i) {
    cx[i] = RoundToPixel(s.Balls[i].X);
    cy[i] = RoundToPixel(s.Balls[i].Y);
  }
  for (int row = 0; row <= kLastRow; ++row) {
    const bool clothRow = row >= table::kClothTop && row <= table::kClothBottom;
    if (clothRow) FillSpan(fb, row, table::kClothLeft, table::kClothRight, colors::kCloth);
    if (std::abs(row - table::kSpotRow) <= table::kSpotRadius) {
      for (int column : table::kSpotColumns) {
        FillDiscRow(fb, row, column, table::kSpotRow, table::kSpotRadius, colors::kSpot);
      }
    }
    if (clothRow) {
      for (int i = 0; i < 10; ++i) {
        const TBall& b = s.Balls[i];
        if (!b.OnTable) continue;
        FillDiscRow(fb, row, cx[i], cy[i], table::kBallRadius, b.Color);
      }
    }
  }
}

void PaintRails(Framebuffer& fb) {
  using namespace colors;
  for (int row = 0; row <= kLastRow; ++row) {
    if (row >= 40 && row <= 440) {
      FillSpan(fb, row, 0, 39, kRail);
      FillSpan(fb, row, 841, 880, kRail);
    } else {
      FillSpan(fb, row, 0, 880, kRail);
    }
    // Corner throats entering the top and bottom rails, and the middle ones.
    if ((row >= 22 && row <= 39) || (row >= 441 && row <= 458)) {
      const int d = row <= 39 ? row - 22 : 458 - row;
      FillSpan(fb, row, 40, 40 + d, kCloth);
      FillSpan(fb, row, 840 - d, 840, kCloth);
      if ((row >= 31 && row <= 39) || (row >= 441 && row <= 449)) {
        FillSpan(fb, row, 428, 452, kCloth);
      }
    }
    // Corner throats entering the end rails.
    if ((row >= 40 && row <= 57) || (row >= 423 && row <= 440)) {
      const int d = row <= 57 ? row - 40 : 440 - row;
      FillSpan(fb, row, 22 + d, 40, kCloth);
      FillSpan(fb, row, 840, 858 - d, kCloth);
    }
    // Pockets over everything; the middle ones only on rail rows.
    FillDiscRow(fb, row, 31, 31, table::kPocketRadius, kPocket);
    FillDiscRow(fb, row, 849, 31, table::kPocketRadius, kPocket);
    if (row < 40) FillDiscRow(fb, row, 440, 31, table::kPocketRadius, kPocket);
    FillDiscRow(fb, row, 31, 449, table::kPocketRadius, kPocket);
    FillDiscRow(fb, row, 849, 449, table::kPocketRadius, kPocket);
    if (row > 440) FillDiscRow(fb, row, 440, 449, table::kPocketRadius, kPocket);
  }
}

void PaintAimGuide(Framebuffer& fb, const TGameState& s) {
  const TBall& cue = s.Balls[0];
  fb.DrawLine(RoundToLineEnd(cue.X), RoundToLineEnd(cue.Y), RoundToLineEnd(cue.X + s.AimX),
              RoundToLineEnd(cue.Y + s.AimY), colors::kRed);
  if (s.TargetBall > 9 || s.TargetBall < 1) return;
  // Where along the aim the cue ball's centre first comes 12 pixels from the
  // target's: a t^2 + 2 b t + k = 0.
  const TBall& target = s.Balls[s.TargetBall];
  const double px = cue.X - target.X;
  const double py = cue.Y - target.Y;
  const double a = s.AimX * s.AimX + s.AimY * s.AimY;
  const double b = s.AimX * px + s.AimY * py;
  const double k = px * px + py * py - 144.0;
  const double D = b * b - a * k;
  if (a == 0.0 || D < 0.0) return;
  const double t = (-b - std::sqrt(D)) / a;
  // The target leaves along the line of centres at contact: 100 x 12 pixels.
  fb.DrawLine(RoundToLineEnd(target.X), RoundToLineEnd(target.Y),
              RoundToLineEnd(target.X - 100.0 * (px + t * s.AimX)),
              RoundToLineEnd(target.Y - 100.0 * (py + t * s.AimY)), colors::kWhite);
}

long long PowerBarLevel(double power) {
  const double level = (1.0 - power / 0.2) * 400.0;
  // Power only ever holds what the game sets; the clamp keeps the
  // conversion defined whatever it holds.
  return std::llrint(std::clamp(level, -1e15, 1e15)) + 40;
}

void PaintPanel(Framebuffer& fb, const TGameState& s, bool timerEnabled) {
  constexpr int width = kClientWidth, height = kClientHeight;
  const int markerX = RoundToPixel(30.0 * s.SpinX + 930.0);
  const int markerY = RoundToPixel(240.0 - 30.0 * s.SpinY);
  const long long level = PowerBarLevel(s.Power);
  for (int row = 0; row <= height; ++row) {
    FillSpan(fb, row, 881, width, colors::kStrip);
    if (timerEnabled) continue;
    FillDiscRow(fb, row, 930, 240, 30, colors::kWhite);
    FillDiscRow(fb, row, markerX, markerY, 3, colors::kRed);
    if (row <= 440) {
      if (row >= level) {
        FillSpan(fb, row, width - 20, width - 4, colors::kWhite);
      } else if (row >= 40) {
        FillSpan(fb, row, width - 20, width - 4, colors::kBlack);
      }
    }
  }
}

}  // namespace tavoren
