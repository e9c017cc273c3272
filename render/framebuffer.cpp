#include "render/framebuffer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace tavoren {

// A new framebuffer has written nothing since a cloth paint, and all of it
// is still to be presented.
Framebuffer::Framebuffer() {
  std::fill(std::begin(pixels_), std::end(pixels_), colors::kButtonFace);
  for (RowWrites& r : rows_) r.damage = {0, kClientWidth - 1};
}

void Framebuffer::Touch(int top, int bottom, int left, int right) {
  for (int y = top; y < bottom; ++y) {
    rows_[y].damage.Widen(left, right);
    rows_[y].sinceCloth.Widen(left, right);
  }
  damageTop_ = std::min(damageTop_, top);
  damageBottom_ = std::max(damageBottom_, bottom);
}

Framebuffer::Damage Framebuffer::TakeDamage() {
  Damage d;
  for (int y = damageTop_; y < damageBottom_; ++y) {
    Columns& c = rows_[y].damage;
    if (c.Empty()) continue;
    d.Add(y, y + 1, c.left, c.right);
    c = {};
  }
  damageTop_ = kPanelTop;
  damageBottom_ = 0;
  return d;
}

void Framebuffer::ForgetWritten() {
  for (RowWrites& r : rows_) r.sinceCloth = {};
}

namespace {

// Sets count pixels from p on. Every painter ends up here, row after row, so
// the run is written eight pixels at a time as whole blocks, which the
// compiler turns into wide stores.
void FillPixels(TColor* p, int count, TColor colour) {
  TColor block[8];
  for (TColor& c : block) c = colour;
  for (; count >= 8; count -= 8, p += 8) std::memcpy(p, block, sizeof block);
  for (; count > 0; --count) *p++ = colour;
}

}  // namespace

void Framebuffer::FillRect(int left, int top, int right, int bottom, TColor colour) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, kClientWidth);
  bottom = std::min(bottom, kPanelTop);
  if (left >= right || top >= bottom) return;
  for (int y = top; y < bottom; ++y)
    FillPixels(pixels_ + y * kClientWidth + left, right - left, colour);
  Touch(top, bottom, left, right - 1);
}

namespace {

// Bresenham below works on coordinates up to 2^41 apart; the products that
// locate a point along such a line need more than 64 bits.
__extension__ using Wide = __int128;

// The step along the minor axis that the line has taken once it has made n
// steps along its major axis: n * minor / major rounded to nearest, an exact
// half rounding up, which is where the stepping below moves on.
std::int64_t MinorSteps(std::int64_t n, std::int64_t major, std::int64_t minor) {
  return static_cast<std::int64_t>((2 * static_cast<Wide>(minor) * n + major) /
                                   (2 * static_cast<Wide>(major)));
}

}  // namespace

void Framebuffer::DrawLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                           TColor colour) {
  const std::int64_t dx = x1 > x0 ? x1 - x0 : x0 - x1;
  const std::int64_t dy = -(y1 > y0 ? y1 - y0 : y0 - y1);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  // The line makes one step along its major axis per pixel and stops before
  // the end point. Only the steps whose major coordinate lies inside the
  // drawing area can paint; start there with the state the stepping would
  // have reached, so a clipped line keeps the very pixels of the whole one.
  const bool xMajor = dx >= -dy;
  const std::int64_t major = xMajor ? dx : -dy, minor = xMajor ? -dy : dx;
  const std::int64_t from = xMajor ? x0 : y0;
  const int dir = xMajor ? sx : sy;
  const std::int64_t limit = xMajor ? kClientWidth : kPanelTop;
  // Steps n with 0 <= from + dir * n < limit, within [0, major).
  std::int64_t first = dir > 0 ? -from : from - (limit - 1);
  std::int64_t last = dir > 0 ? limit - 1 - from : from;
  first = std::max<std::int64_t>(first, 0);
  last = std::min<std::int64_t>(last, major - 1);
  if (first > last) return;
  const std::int64_t n = first, m = MinorSteps(first, major, minor);
  const std::int64_t xSteps = xMajor ? n : m, ySteps = xMajor ? m : n;
  std::int64_t x = x0 + sx * xSteps, y = y0 + sy * ySteps;
  // After i steps along x and j along y the error term is dx (j + 1) + dy (i + 1).
  std::int64_t err = static_cast<std::int64_t>(static_cast<Wide>(dx) * (ySteps + 1) +
                                               static_cast<Wide>(dy) * (xSteps + 1));
  for (std::int64_t k = first; k <= last; ++k) {
    if (x >= 0 && x < kClientWidth && y >= 0 && y < kPanelTop) {
      pixels_[y * kClientWidth + x] = colour;
      Touch(static_cast<int>(y), static_cast<int>(y) + 1, static_cast<int>(x), static_cast<int>(x));
    }
    const std::int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

int RoundToPixel(double v) {
  // Anything this far out is off the window whichever way it is rounded.
  constexpr double kLimit = 1 << 24;
  if (!(v > -kLimit)) return -(1 << 24);
  if (!(v < kLimit)) return 1 << 24;
  return static_cast<int>(std::nearbyint(v));
}

std::int64_t RoundToLineEnd(double v) {
  constexpr double kLimit = static_cast<double>(std::int64_t{1} << 40);
  if (!(v > -kLimit)) return -(std::int64_t{1} << 40);
  if (!(v < kLimit)) return std::int64_t{1} << 40;
  return static_cast<std::int64_t>(std::nearbyint(v));
}

void FillSpan(Framebuffer& fb, int row, int x1, int x2, TColor colour) {
  const int left = std::min(x1, x2), right = std::max(x1, x2);
  fb.FillRect(left, row, right + 1, row + 1, colour);
}

namespace {

// Half the width of the run that a row dy rows from a disc's centre cuts out
// of it; -1 when the row misses the disc.
int DiscHalfWidth(int dy, int radius) {
  if (radius < dy) return -1;
  const double rr = static_cast<double>(radius * radius);
  const double off = static_cast<double>(dy) - 0.5;
  const double square = rr - off * off;
  // Only radius 0 gives a negative square; it paints its centre pixel.
  return square > 0.0 ? static_cast<int>(std::nearbyint(std::sqrt(square))) : 0;
}

}  // namespace

void FillDiscRow(Framebuffer& fb, int row, int cx, int cy, int radius, TColor colour) {
  const int h = DiscHalfWidth(std::abs(row - cy), radius);
  if (h >= 0) FillSpan(fb, row, cx - h, cx + h, colour);
}

void FillDiscRowWithin(Framebuffer& fb, int row, int cx, int cy, int radius, TColor colour,
                       int left, int right) {
  const int h = DiscHalfWidth(std::abs(row - cy), radius);
  if (h < 0) return;
  left = std::max(left, cx - h);
  right = std::min(right, cx + h);
  if (left <= right) FillSpan(fb, row, left, right, colour);
}

}  // namespace tavoren
