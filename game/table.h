// Where everything lies in the window: the table (cloth, rails, pockets),
// the control strip to its right (spin disc and power bar) and the message
// panel along the bottom. Client pixels, x to the right, y downwards. The
// physics, the painters and the shot input all measure from here, so a
// change to the table is a change to this file.
#pragma once

#include <algorithm>
#include <cmath>

namespace tavoren {

constexpr int kClientWidth = 1016;
constexpr int kClientHeight = 500;
constexpr int kPanelTop = 480;  // rows 480..499 belong to the message panel
constexpr int kPanelHeight = kClientHeight - kPanelTop;

// The message panel's text: one line, left-justified inside a border of
// kPanelBorder pixels, in a font kPanelFontPixels pixels high.
constexpr int kPanelBorder = 4;
constexpr int kPanelFontPixels = 15;

namespace table {
// The cloth rectangle, both ends included; the cushions lie along its edges.
constexpr int kClothLeft = 40, kClothRight = 840, kClothTop = 40, kClothBottom = 440;
// The middle of the long edges: the side pockets' column.
constexpr int kMiddleX = 440;
constexpr int kBallRadius = 6;
constexpr int kContact = 2 * kBallRadius;  // between the centres of touching balls
constexpr int kSpotRadius = 2;
constexpr int kSpotRow = 240;
constexpr int kSpotColumns[3] = {240, kMiddleX, 640};  // head, centre, foot
constexpr int kFootSpotX = 640, kFootSpotY = 240;
constexpr int kTableRight = 880;  // last column of the table; the strip starts after it

// The painted pockets: discs centred kPocketOffset outside the cloth's
// corners and the middle of its long edges (a ball's reach along the
// diagonal, 6 * sqrt(2) rounded, plus one).
constexpr int kPocketRadius = 12;
constexpr int kPocketOffset = 9;
constexpr int kPocketLeft = kClothLeft - kPocketOffset;      // 31
constexpr int kPocketRight = kClothRight + kPocketOffset;    // 849
constexpr int kPocketTop = kClothTop - kPocketOffset;        // 31
constexpr int kPocketBottom = kClothBottom + kPocketOffset;  // 449
// The corner throats reach twice the pocket offset into the rails, from
// rows 22 and 458 and from columns 22 and 858.
constexpr int kThroatDepth = 2 * kPocketOffset;
}  // namespace table

// The control strip right of the table.
namespace strip {
constexpr int kLeft = table::kTableRight + 1;  // first painted column
// The spin disc: the cue ball's face. The pointer's offset from the centre,
// at most kSpinLimit, divided by the radius is the spin.
constexpr int kSpinDiscX = 930, kSpinDiscY = 240;
constexpr int kSpinDiscRadius = 30;
constexpr double kSpinLimit = 18.0;
constexpr int kMarkerRadius = 3;
// The power bar. The pointer sets power from column kBarColumn on; the bar
// is painted kBarLeftInset to kBarRightInset columns from the client's
// right edge (996 to 1012), from row kBarTop (full power) to kBarBottom.
constexpr int kBarColumn = 980;
constexpr int kBarLeftInset = 20, kBarRightInset = 4;
constexpr int kBarTop = 40, kBarBottom = 440;
constexpr double kFullPower = 0.2;
}  // namespace strip

// The power bar's two directions, one the inverse of the other: the power
// set by the pointer on a row of the bar (clamped to the bar), and the first
// white row of the bar for a power. A power set from a row gives that row
// back exactly.
inline double PowerAtBarRow(int row) {
  using namespace strip;
  row = std::clamp(row, kBarTop, kBarBottom);
  return (1.0 - static_cast<double>(row - kBarTop) / (kBarBottom - kBarTop)) * kFullPower;
}

// 40 for power 0.2, 440 for 0; any power gives a defined row.
inline long long PowerBarLevel(double power) {
  using namespace strip;
  const double level = (1.0 - power / kFullPower) * (kBarBottom - kBarTop);
  // Power only ever holds what the game sets; the clamp keeps the
  // conversion defined whatever it holds.
  return std::llrint(std::clamp(level, -1e15, 1e15)) + kBarTop;
}

}  // namespace tavoren
