// The window's client area as a block of pixels. The core paints here; the
// platform layer presents it. Rows under the message panel and everything
// outside the client area are clipped, as the window system would.
#pragma once

#include <algorithm>
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
  void DrawLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, TColor colour);

  TColor Pixel(int x, int y) const { return pixels_[y * kClientWidth + x]; }
  const TColor* Pixels() const { return pixels_; }

  // Columns [left, right] of one row; left > right when none.
  struct Columns {
    int left = kClientWidth, right = -1;
    bool Empty() const { return left > right; }
    void Widen(int l, int r) {
      left = std::min(left, l);
      right = std::max(right, r);
    }
  };

  // What was written since the last TakeDamage, row by row, with the
  // columns written on each; the platform presents it run by run.
  class Damage {
   public:
    static Damage All() {
      Damage d;
      d.Add(0, kPanelTop, 0, kClientWidth - 1);
      return d;
    }
    bool Empty() const { return top_ >= bottom_; }
    bool Has(int row) const { return row >= top_ && row < bottom_ && !cols_[row].Empty(); }
    // Rows [top, bottom), columns [left, right].
    void Add(int top, int bottom, int left, int right) {
      for (int y = top; y < bottom; ++y) cols_[y].Widen(left, right);
      top_ = std::min(top_, top);
      bottom_ = std::max(bottom_, bottom);
    }
    // Calls run(top, bottom, left, right) for each run of damaged rows
    // [top, bottom), from the top down; columns [left, right] cover what was
    // written on any of them.
    template <class Run>
    void ForEachRun(Run&& run) const {
      for (int y = top_; y < bottom_;) {
        if (!Has(y)) {
          ++y;
          continue;
        }
        const int top = y;
        Columns c;
        for (; y < bottom_ && Has(y); ++y) c.Widen(cols_[y].left, cols_[y].right);
        run(top, y, c.left, c.right);
      }
    }

   private:
    Columns cols_[kPanelTop];
    int top_ = kPanelTop, bottom_ = 0;  // bounds of the damaged rows
  };
  Damage TakeDamage();

  // What PaintCloth keeps between two paints so that it need repaint only
  // the parts of the cloth rows where something changed: each ball's disc as
  // it was painted (see PaintCloth). Until a whole cloth has been painted
  // nothing is known; a record reset to {} is a record of nothing.
  struct Disc {
    bool onTable;
    int cx, cy;
    TColor colour;
    bool operator==(const Disc&) const = default;
  };
  struct ClothRecord {
    bool valid = false;
    Disc balls[10] = {};
  };
  ClothRecord& Cloth() { return cloth_; }
  // The columns written on a row since ForgetWritten (PaintCloth calls it
  // when it is done).
  Columns Written(int row) const { return rows_[row].sinceCloth; }
  void ForgetWritten();

 private:
  // Records a write to columns [left, right] of rows [top, bottom).
  void Touch(int top, int bottom, int left, int right);

  TColor pixels_[kClientWidth * kClientHeight];
  // The one record of writes, per row: the columns written since the last
  // TakeDamage (to be presented) and since the last ForgetWritten (for the
  // cloth painter); damageTop_ and damageBottom_ bound the damaged rows.
  struct RowWrites {
    Columns damage, sinceCloth;
  };
  RowWrites rows_[kPanelTop];
  int damageTop_ = 0, damageBottom_ = kPanelTop;
  ClothRecord cloth_;
};

// The two span primitives with which every filled shape is painted.
// FillSpan paints columns min(x1, x2)..max(x1, x2) of one row.
void FillSpan(Framebuffer& fb, int row, int x1, int x2, TColor colour);
// FillDiscRow paints the run that the given row cuts out of the disc of the
// given radius centred on pixel (cx, cy); nothing when the row misses it.
void FillDiscRow(Framebuffer& fb, int row, int cx, int cy, int radius, TColor colour);
// The part of that run within columns [left, right].
void FillDiscRowWithin(Framebuffer& fb, int row, int cx, int cy, int radius, TColor colour,
                       int left, int right);

// Rounds to the nearest integer, halves to even; clamps values far outside
// any drawable range so the conversion stays defined.
int RoundToPixel(double v);

// The same rounding for the ends of a line, which keep their true place up
// to 2^40 pixels away so that a far-off end still gives the line its slope.
std::int64_t RoundToLineEnd(double v);

}  // namespace tavoren
