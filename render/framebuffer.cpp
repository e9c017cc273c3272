#include "render/framebuffer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tavoren {

Framebuffer::Framebuffer() : pixels_{}, damage_{0, kPanelTop} {}

void Framebuffer::Touch(int top, int bottom) {
  if (damage_.Empty()) {
    damage_ = {top, bottom};
  } else {
    damage_.top = std::min(damage_.top, top);
    damage_.bottom = std::max(damage_.bottom, bottom);
  }
}

Framebuffer::Damage Framebuffer::TakeDamage() {
  Damage d = damage_;
  damage_ = {0, 0};
  return d;
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
  for (int y = top; y < bottom; ++y) FillPixels(pixels_ + y * kClientWidth + left, right - left, colour);
  Touch(top, bottom);
}

namespace {

// Cuts the segment down to a box well around the client area so that an
// absurdly long line (a pointer dragged far outside the window) costs no more
// than a long visible one. Lines that already fit are left exactly as given.
bool ClipToWorkBox(int& x0, int& y0, int& x1, int& y1) {
  constexpr int kReach = 8192;
  if (std::abs(x0) < kReach && std::abs(y0) < kReach && std::abs(x1) < kReach &&
      std::abs(y1) < kReach) {
    return true;
  }
  constexpr double lo = -2048.0, hi = 4096.0;
  double t0 = 0.0, t1 = 1.0;
  const double px = x0, py = y0, dx = static_cast<double>(x1) - x0, dy = static_cast<double>(y1) - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {px - lo, hi - px, py - lo, hi - py};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0.0) {
      if (q[k] < 0.0) return false;
      continue;
    }
    const double r = q[k] / p[k];
    if (p[k] < 0.0) t0 = std::max(t0, r);
    else t1 = std::min(t1, r);
  }
  if (t0 > t1) return false;
  x1 = static_cast<int>(std::nearbyint(px + t1 * dx));
  y1 = static_cast<int>(std::nearbyint(py + t1 * dy));
  x0 = static_cast<int>(std::nearbyint(px + t0 * dx));
  y0 = static_cast<int>(std::nearbyint(py + t0 * dy));
  return true;
}

}  // namespace

void Framebuffer::DrawLine(int x0, int y0, int x1, int y1, TColor colour) {
  if (!ClipToWorkBox(x0, y0, x1, y1)) return;
  // Bresenham, end point excluded.
  const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  int x = x0, y = y0;
  int touchedTop = kPanelTop, touchedBottom = 0;
  while (x != x1 || y != y1) {
    if (x >= 0 && x < kClientWidth && y >= 0 && y < kPanelTop) {
      pixels_[y * kClientWidth + x] = colour;
      touchedTop = std::min(touchedTop, y);
      touchedBottom = std::max(touchedBottom, y + 1);
    }
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
  if (touchedTop < touchedBottom) Touch(touchedTop, touchedBottom);
}

int RoundToPixel(double v) {
  // Anything this far out is off the window whichever way it is rounded.
  constexpr double kLimit = 1 << 24;
  if (!(v > -kLimit)) return -(1 << 24);
  if (!(v < kLimit)) return 1 << 24;
  return static_cast<int>(std::nearbyint(v));
}

void FillSpan(Framebuffer& fb, int row, int x1, int x2, TColor colour) {
  const int left = std::min(x1, x2), right = std::max(x1, x2);
  fb.FillRect(left, row, right + 1, row + 1, colour);
}

void FillDiscRow(Framebuffer& fb, int row, int cx, int cy, int radius, TColor colour) {
  const int dy = std::abs(row - cy);
  if (radius < dy) return;
  const double rr = static_cast<double>(radius * radius);
  const double off = static_cast<double>(dy) - 0.5;
  const double square = rr - off * off;
  // Only radius 0 gives a negative square; it paints its centre pixel.
  const int h = square > 0.0 ? static_cast<int>(std::nearbyint(std::sqrt(square))) : 0;
  FillSpan(fb, row, cx - h, cx + h, colour);
}

}  // namespace tavoren
