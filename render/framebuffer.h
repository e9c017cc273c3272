// The window's client area as a block of pixels. The core paints here; the
// platform layer presents it. Rows under the message panel and everything
// outside the client area are clipped, as the window system would.
#pragma once

#include <cstdint>

#include "game/state.h"

namespace tavoren {

class Framebuffer {
 public:
  // A new client area shows the window's background, the button face, until
  // something paints over it.
  Framebuffer();

  // Fills [left, right) x [top, bottom) in colour, clipped.
  void FillRect(int left, int top, int right, int bottom, TColor colour);

  // A one-pixel solid line from (x0, y0) towards (x1, y1); like the Windows
  // line primitive it stops just before the end point. The ends may lie far
  // outside the client area (a pointer dragged millions of pixels away): what
  // is painted is exactly the part of the whole line that falls inside.
  void DrawLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                TColor colour);

  TColor Pixel(int x, int y) const { return pixels_[y * kClientWidth + x]; }
  const TColor* Pixels() const { return pixels_; }

  // Rows touched since the last TakeDamage, as [top, bottom); empty when
  // top >= bottom. The platform presents only those rows.
  struct Damage {
    int top, bottom;
    bool Empty() const { return top >= bottom; }
  };
  Damage TakeDamage();

 private:
  void Touch(int top, int bottom);

  TColor pixels_[kClientWidth * kClientHeight];
  Damage damage_;
};

// The two span primitives with which every filled shape is painted.
// FillSpan paints columns min(x1, x2)..max(x1, x2) of one row.
void FillSpan(Framebuffer& fb, int row, int x1, int x2, TColor colour);
// FillDiscRow paints the run that the given row cuts out of the disc of the
// given radius centred on pixel (cx, cy); nothing when the row misses it.
void FillDiscRow(Framebuffer& fb, int row, int cx, int cy, int radius, TColor colour);

// Rounds to the nearest integer, halves to even; clamps values far outside
// any drawable range so the conversion stays defined.
int RoundToPixel(double v);

// The same rounding for the ends of a line, which keep their true place up
// to 2^40 pixels away so that a far-off end still gives the line its slope.
std::int64_t RoundToLineEnd(double v);

}  // namespace tavoren
