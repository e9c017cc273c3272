#include "render/painters.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

namespace tavoren {

namespace {
// The rails' painter runs over rows 0 to 880, as many rows as the table has
// columns, although nothing of the table lies below row 461: the rows from
// 480 on (under the panel or outside the window) are clipped by the
// framebuffer, at the cost of a bounds test per span and no pixel. The loop
// keeps the designed row range rather than a second, tighter one.
constexpr int kLastRow = table::kTableRight;
constexpr double kContactSquared =
    static_cast<double>(table::kContact) * static_cast<double>(table::kContact);
}  // namespace

namespace {

using Disc = Framebuffer::Disc;
using Columns = Framebuffer::Columns;
constexpr int kClothRows = table::kClothBottom - table::kClothTop + 1;
static_assert(table::kSpotRow - table::kSpotRadius >= table::kClothTop &&
                  table::kSpotRow + table::kSpotRadius <= table::kClothBottom,
              "the spots lie on cloth rows, so painting the cloth's rows paints them");

bool Meet(const Columns& a, int left, int right) { return a.left <= right && left <= a.right; }

// Widens the windows of the cloth rows a ball's disc covers by its columns.
void MarkDisc(Columns (&windows)[kClothRows], const Disc& d) {
  using namespace table;
  if (!d.onTable) return;
  const int top = std::max(d.cy - kBallRadius, kClothTop);
  const int bottom = std::min(d.cy + kBallRadius, kClothBottom);
  for (int row = top; row <= bottom; ++row)
    windows[row - kClothTop].Widen(d.cx - kBallRadius, d.cx + kBallRadius);
}

// Whether what was written on the row since the last cloth paint lies where
// painting the row writes: the cloth's columns, or a ball's on that row.
bool Overwritten(Columns written, int row, const Disc (&balls)[10]) {
  using namespace table;
  if (written.Empty()) return false;
  if (Meet(written, kClothLeft, kClothRight)) return true;
  for (const Disc& d : balls) {
    if (d.onTable && std::abs(row - d.cy) <= kBallRadius &&
        Meet(written, d.cx - kBallRadius, d.cx + kBallRadius)) {
      return true;
    }
  }
  return false;
}

}  // namespace

// A cloth row shows its cloth, the spots on it and the balls that cross it,
// painted in that order; nothing else decides its pixels, and each column of
// it only by what covers that column. So only the columns a ball covers now
// or covered at the last paint need painting again when that ball has
// changed (moved by a pixel, left the table, changed colour), and those that
// another painter has written over (the aim guide, the rails' throats, a
// ball's pixels outside the cloth covered by the rails). Every row is
// painted in the window of columns that needs it, in the same order as ever;
// everything outside the windows already shows what painting it would give.
// The whole cloth is painted when nothing is known yet.
void PaintCloth(Framebuffer& fb, const TGameState& s) {
  using namespace table;
  Framebuffer::ClothRecord& last = fb.Cloth();
  Disc now[10];
  for (int i = 0; i < 10; ++i) {
    const TBall& b = s.Balls[i];
    now[i] = {b.OnTable, RoundToPixel(b.X), RoundToPixel(b.Y), b.Color};
  }
  Columns windows[kClothRows];
  const bool whole = !last.valid;
  std::fill(std::begin(windows), std::end(windows),
            whole ? Columns{0, kClientWidth - 1} : Columns{kClientWidth, -1});
  if (!whole) {
    for (int i = 0; i < 10; ++i) {
      if (now[i] == last.balls[i]) continue;
      MarkDisc(windows, last.balls[i]);
      MarkDisc(windows, now[i]);
    }
    for (int row = kClothTop; row <= kClothBottom; ++row) {
      const Columns written = fb.Written(row);
      if (Overwritten(written, row, now))
        windows[row - kClothTop].Widen(written.left, written.right);
    }
  }
  for (int row = kClothTop; row <= kClothBottom; ++row) {
    const auto [left, right] = windows[row - kClothTop];
    if (left > right) continue;
    const int clothLeft = std::max(left, kClothLeft), clothRight = std::min(right, kClothRight);
    if (clothLeft <= clothRight) FillSpan(fb, row, clothLeft, clothRight, colors::kCloth);
    if (std::abs(row - kSpotRow) <= kSpotRadius) {
      for (int column : kSpotColumns) {
        FillDiscRowWithin(fb, row, column, kSpotRow, kSpotRadius, colors::kSpot, left, right);
      }
    }
    for (const Disc& d : now) {
      // Most balls lie off the row or outside its window.
      if (d.onTable && std::abs(row - d.cy) <= kBallRadius && d.cx - kBallRadius <= right &&
          left <= d.cx + kBallRadius) {
        FillDiscRowWithin(fb, row, d.cx, d.cy, kBallRadius, d.colour, left, right);
      }
    }
  }
  std::copy(std::begin(now), std::end(now), std::begin(last.balls));
  last.valid = true;
  fb.ForgetWritten();
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
  // The target leaves along the line of centres at contact, for
  // kGuideLength times their distance then.
  fb.DrawLine(RoundToLineEnd(target.X), RoundToLineEnd(target.Y),
              RoundToLineEnd(target.X - kGuideLength * (px + t * s.AimX)),
              RoundToLineEnd(target.Y - kGuideLength * (py + t * s.AimY)), colors::kWhite);
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
