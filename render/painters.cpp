#include "render/painters.h"

#include <cmath>
#include <cstdlib>

namespace tavoren {

namespace {
// The table's painters run over rows 0 to 880, as many rows as the table has
// columns, although nothing of the table lies below row 461: the rows from
// 480 on (under the panel or outside the window) are clipped by the
// framebuffer, at the cost of a bounds test per span and no pixel. The loop
// keeps the designed row range rather than a second, tighter one.
constexpr int kLastRow = table::kTableRight;
constexpr double kContactSquared =
    static_cast<double>(table::kContact) * static_cast<double>(table::kContact);
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
  using namespace table;
  // Where the throats reach into the rails, and the middle throats' columns.
  constexpr int kThroatTop = kClothTop - kThroatDepth, kThroatBottom = kClothBottom + kThroatDepth;
  constexpr int kThroatLeft = kClothLeft - kThroatDepth, kThroatRight = kClothRight + kThroatDepth;
  constexpr int kMiddleLeft = kMiddleX - kPocketRadius, kMiddleRight = kMiddleX + kPocketRadius;
  for (int row = 0; row <= kLastRow; ++row) {
    if (row >= kClothTop && row <= kClothBottom) {
      FillSpan(fb, row, 0, kClothLeft - 1, kRail);
      FillSpan(fb, row, kClothRight + 1, kTableRight, kRail);
    } else {
      FillSpan(fb, row, 0, kTableRight, kRail);
    }
    // Corner throats entering the top and bottom rails, and the middle ones.
    if ((row >= kThroatTop && row < kClothTop) || (row > kClothBottom && row <= kThroatBottom)) {
      const int d = row < kClothTop ? row - kThroatTop : kThroatBottom - row;
      FillSpan(fb, row, kClothLeft, kClothLeft + d, kCloth);
      FillSpan(fb, row, kClothRight - d, kClothRight, kCloth);
      if ((row >= kPocketTop && row < kClothTop) || (row > kClothBottom && row <= kPocketBottom)) {
        FillSpan(fb, row, kMiddleLeft, kMiddleRight, kCloth);
      }
    }
    // Corner throats entering the end rails.
    if ((row >= kClothTop && row < kClothTop + kThroatDepth) ||
        (row > kClothBottom - kThroatDepth && row <= kClothBottom)) {
      const int d = row < kClothTop + kThroatDepth ? row - kClothTop : kClothBottom - row;
      FillSpan(fb, row, kThroatLeft + d, kClothLeft, kCloth);
      FillSpan(fb, row, kClothRight, kThroatRight - d, kCloth);
    }
    // Pockets over everything; the middle ones only on rail rows.
    FillDiscRow(fb, row, kPocketLeft, kPocketTop, kPocketRadius, kPocket);
    FillDiscRow(fb, row, kPocketRight, kPocketTop, kPocketRadius, kPocket);
    if (row < kClothTop) FillDiscRow(fb, row, kMiddleX, kPocketTop, kPocketRadius, kPocket);
    FillDiscRow(fb, row, kPocketLeft, kPocketBottom, kPocketRadius, kPocket);
    FillDiscRow(fb, row, kPocketRight, kPocketBottom, kPocketRadius, kPocket);
    if (row > kClothBottom) FillDiscRow(fb, row, kMiddleX, kPocketBottom, kPocketRadius, kPocket);
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
  const double k = px * px + py * py - kContactSquared;
  const double D = b * b - a * k;
  if (a == 0.0 || D < 0.0) return;
  const double t = (-b - std::sqrt(D)) / a;
  // The target leaves along the line of centres at contact: 100 x 12 pixels.
  fb.DrawLine(RoundToLineEnd(target.X), RoundToLineEnd(target.Y),
              RoundToLineEnd(target.X - 100.0 * (px + t * s.AimX)),
              RoundToLineEnd(target.Y - 100.0 * (py + t * s.AimY)), colors::kWhite);
}

void PaintPanel(Framebuffer& fb, const TGameState& s, bool timerEnabled) {
  using namespace strip;
  constexpr int width = kClientWidth, height = kClientHeight;
  const int markerX = RoundToPixel(kSpinDiscRadius * s.SpinX + kSpinDiscX);
  const int markerY = RoundToPixel(kSpinDiscY - kSpinDiscRadius * s.SpinY);
  const long long level = PowerBarLevel(s.Power);
  for (int row = 0; row <= height; ++row) {
    FillSpan(fb, row, kLeft, width, colors::kStrip);
    if (timerEnabled) continue;
    FillDiscRow(fb, row, kSpinDiscX, kSpinDiscY, kSpinDiscRadius, colors::kWhite);
    FillDiscRow(fb, row, markerX, markerY, kMarkerRadius, colors::kRed);
    if (row <= kBarBottom) {
      if (row >= level) {
        FillSpan(fb, row, width - kBarLeftInset, width - kBarRightInset, colors::kWhite);
      } else if (row >= kBarTop) {
        FillSpan(fb, row, width - kBarLeftInset, width - kBarRightInset, colors::kBlack);
      }
    }
  }
}

}  // namespace tavoren
