// Pixel-exact checks of the span primitives and the painters of the table,
// the aim guide and the control strip, each on a bare framebuffer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "game/state.h"
#include "render/framebuffer.h"
#include "render/painters.h"
#include "split_mix.h"

namespace tavoren {
namespace {

constexpr TColor kRail = 0x002070;
constexpr TColor kGreen = 0x00C000;
constexpr TColor kBlack = 0x000000;
constexpr TColor kGrey = 0xC0C0C0;
constexpr TColor kBlue = 0xFF0000;
constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kRed = 0x0000FF;
constexpr TColor kUnpainted = 0xF0F0F0;  // a new framebuffer shows the button face

struct Run {
  int from, to;
  TColor colour;
};

std::string Hex(TColor c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%06X", static_cast<unsigned>(c));
  return buf;
}

// Checks that the given row consists of exactly these runs of colour.
void ExpectRuns(const Framebuffer& fb, int row, const std::vector<Run>& runs,
                const std::string& where) {
  for (const Run& r : runs) {
    for (int x = r.from; x <= r.to; ++x) {
      if (fb.Pixel(x, row) != r.colour) {
        ADD_FAILURE() << where << ": row " << row << " column " << x << " is "
                      << Hex(fb.Pixel(x, row)) << ", want " << Hex(r.colour) << " (run " << r.from
                      << ".." << r.to << ")";
        return;
      }
    }
  }
}

// Length of the run of `colour` on `row` that contains column `x`, and its ends.
struct Span {
  int left, right;
  int Width() const { return right - left + 1; }
};
Span RunAround(const Framebuffer& fb, int row, int x, TColor colour) {
  Span s{x, x};
  while (s.left > 0 && fb.Pixel(s.left - 1, row) == colour) --s.left;
  while (s.right < kClientWidth - 1 && fb.Pixel(s.right + 1, row) == colour) ++s.right;
  return s;
}

int CountColour(const Framebuffer& fb, TColor colour, int x0 = 0, int x1 = kClientWidth - 1) {
  int n = 0;
  for (int y = 0; y < kPanelTop; ++y) {
    for (int x = x0; x <= x1; ++x) n += fb.Pixel(x, y) == colour;
  }
  return n;
}

std::unique_ptr<TGameState> EmptyTable() { return std::make_unique<TGameState>(); }

void PlaceBall(TGameState& s, int i, double x, double y) {
  s.Balls[i].OnTable = true;
  s.Balls[i].Color = colors::kBall[i];
  s.Balls[i].X = x;
  s.Balls[i].Y = y;
}

// ---------------------------------------------------------------------------
// Span primitives

// Widths 2h + 1 from the centre row outwards. For radius 30 they follow from
// h = the integer nearest to sqrt(r^2 - (dy - 0.5)^2), i.e. the h with
// (2h - 1)^2 < 4r^2 - (2dy - 1)^2 < (2h + 1)^2, worked out here in integers.
std::vector<int> DiscWidthsInIntegers(int r) {
  std::vector<int> widths;
  for (int dy = 0; dy <= r; ++dy) {
    const long long fourS = 4LL * r * r - (2LL * dy - 1) * (2LL * dy - 1);
    long long h = 0;
    while ((2 * h + 1) * (2 * h + 1) < fourS) ++h;
    widths.push_back(static_cast<int>(2 * h + 1));
  }
  return widths;
}

TEST(FillDiscRow, WidthsForEveryRadiusInUse) {
  const std::vector<std::pair<int, std::vector<int>>> tables = {
      {2, {5, 5, 3}},
      {3, {7, 7, 7, 5}},
      {6, {13, 13, 13, 11, 11, 9, 5}},
      {12, {25, 25, 25, 25, 23, 23, 23, 21, 19, 17, 15, 13, 7}},
      {30, DiscWidthsInIntegers(30)},
  };
  // The radius 30 row: 61 pixels up to dy = 5, 11 pixels at the rim.
  const std::vector<int>& r30 = tables.back().second;
  for (int dy = 0; dy <= 5; ++dy) ASSERT_EQ(r30[dy], 61) << dy;
  ASSERT_EQ(r30[6], 59);
  ASSERT_EQ(r30[30], 11);

  auto fb = std::make_unique<Framebuffer>();
  constexpr int cx = 500, row = 200;
  for (const auto& [radius, widths] : tables) {
    for (int dy = -radius - 2; dy <= radius + 2; ++dy) {
      FillSpan(*fb, row, 0, kClientWidth - 1, kBlue);
      FillDiscRow(*fb, row, cx, row - dy, radius, kWhite);
      const int adx = dy < 0 ? -dy : dy;
      const int want = adx <= radius ? widths[adx] : 0;
      int painted = 0;
      for (int x = 0; x < kClientWidth; ++x) painted += fb->Pixel(x, row) == kWhite;
      EXPECT_EQ(painted, want) << "radius " << radius << " dy " << dy;
      if (want > 0 && fb->Pixel(cx, row) == kWhite) {
        const Span s = RunAround(*fb, row, cx, kWhite);
        EXPECT_EQ(s.left, cx - want / 2) << "radius " << radius << " dy " << dy;
        EXPECT_EQ(s.right, cx + want / 2) << "radius " << radius << " dy " << dy;
      } else {
        EXPECT_EQ(want, 0) << "centre column unpainted, radius " << radius << " dy " << dy;
      }
    }
  }
}

TEST(FillDiscRow, BallDiscCoversItsThirteenRowsOnly) {
  auto fb = std::make_unique<Framebuffer>();
  const int widths[13] = {5, 9, 11, 11, 13, 13, 13, 13, 13, 11, 11, 9, 5};
  for (int row = 180; row <= 220; ++row) FillDiscRow(*fb, row, 100, 200, 6, kWhite);
  for (int row = 194; row <= 206; ++row) {
    const Span s = RunAround(*fb, row, 100, kWhite);
    EXPECT_EQ(s.Width(), widths[row - 194]) << row;
    EXPECT_EQ(s.left + s.right, 200) << "centred on column 100, row " << row;
  }
  EXPECT_EQ(CountColour(*fb, kWhite), 5 + 9 + 11 + 11 + 13 * 5 + 11 + 11 + 9 + 5);
  for (int x = 80; x <= 120; ++x) {
    EXPECT_EQ(fb->Pixel(x, 193), kUnpainted) << x;
    EXPECT_EQ(fb->Pixel(x, 207), kUnpainted) << x;
  }
}

TEST(FillDiscRow, NegativeRadiusPaintsNothing) {
  auto fb = std::make_unique<Framebuffer>();
  for (int radius : {-1, -6, -1000}) {
    for (int row = 0; row < kPanelTop; ++row) FillDiscRow(*fb, row, 100, 200, radius, kWhite);
  }
  EXPECT_EQ(CountColour(*fb, kWhite), 0);
}

TEST(FillSpan, EndsInEitherOrderAndEqualEnds) {
  auto a = std::make_unique<Framebuffer>();
  auto b = std::make_unique<Framebuffer>();
  FillSpan(*a, 10, 50, 40, kWhite);
  FillSpan(*b, 10, 40, 50, kWhite);
  EXPECT_EQ(CountColour(*a, kWhite), 11);
  ExpectRuns(*a, 10, {{39, 39, kUnpainted}, {40, 50, kWhite}, {51, 51, kUnpainted}}, "50..40");
  for (int x = 0; x < kClientWidth; ++x) ASSERT_EQ(a->Pixel(x, 10), b->Pixel(x, 10)) << x;

  auto c = std::make_unique<Framebuffer>();
  FillSpan(*c, 77, 300, 300, kWhite);
  EXPECT_EQ(CountColour(*c, kWhite), 1);
  EXPECT_EQ(c->Pixel(300, 77), kWhite);
}

TEST(FillSpan, ClippedAtTheClientEdgesAndThePanel) {
  auto fb = std::make_unique<Framebuffer>();
  FillSpan(*fb, 10, -5, 3, kWhite);                // starts left of the window
  FillSpan(*fb, 20, 1010, 1100, kWhite);           // runs past the right edge
  FillSpan(*fb, 30, -100, -1, kWhite);             // wholly left of it
  FillSpan(*fb, 40, 1016, 2000, kWhite);           // wholly right of it
  FillSpan(*fb, -1, 0, kClientWidth - 1, kWhite);  // above the window
  FillSpan(*fb, -500, 0, kClientWidth - 1, kWhite);
  for (int row = kPanelTop; row <= 880; ++row) FillSpan(*fb, row, 0, kClientWidth - 1, kWhite);
  for (int row = 470; row <= 520; ++row) FillDiscRow(*fb, row, 500, 490, 12, kWhite);

  ExpectRuns(*fb, 10, {{0, 3, kWhite}, {4, 10, kUnpainted}}, "left edge");
  ExpectRuns(*fb, 20, {{1000, 1009, kUnpainted}, {1010, 1015, kWhite}}, "right edge");
  // Nothing spilled over into the neighbouring rows.
  ExpectRuns(*fb, 9, {{1000, 1015, kUnpainted}}, "row above the left span");
  ExpectRuns(*fb, 21, {{0, 10, kUnpainted}}, "row below the right span");
  // Pocket disc rows 478 and 479 lie above the panel; from 480 on nothing.
  EXPECT_EQ(CountColour(*fb, kWhite), 4 + 6 + 7 + 13);
  EXPECT_EQ(RunAround(*fb, 478, 500, kWhite).Width(), 7);   // dy = 12
  EXPECT_EQ(RunAround(*fb, 479, 500, kWhite).Width(), 13);  // dy = 11
  for (int y = kPanelTop; y < kClientHeight; ++y) {
    for (int x = 0; x < kClientWidth; ++x) ASSERT_EQ(fb->Pixel(x, y), kUnpainted) << x << "," << y;
  }
}

TEST(RoundToPixel, HalvesGoToEven) {
  EXPECT_EQ(RoundToPixel(240.5), 240);
  EXPECT_EQ(RoundToPixel(241.5), 242);
  EXPECT_EQ(RoundToPixel(-0.5), 0);
  EXPECT_EQ(RoundToPixel(-1.5), -2);
  EXPECT_EQ(RoundToPixel(100.49999999999999), 100);
  EXPECT_EQ(RoundToPixel(100.50000000000001), 101);
}

// ---------------------------------------------------------------------------
// Table

std::unique_ptr<Framebuffer> PaintedTable(const TGameState& s) {
  auto fb = std::make_unique<Framebuffer>();
  PaintCloth(*fb, s);
  PaintRails(*fb);
  return fb;
}

// Runs near the top-left corner pocket (columns 0..100) and the top middle
// pocket (columns 400..480).
const std::vector<std::pair<int, std::vector<Run>>> kCornerRows = {
    {22, {{0, 22, kRail}, {23, 39, kBlack}, {40, 40, kGreen}, {41, 100, kRail}}},
    {31, {{0, 18, kRail}, {19, 43, kBlack}, {44, 49, kGreen}, {50, 100, kRail}}},
    {39, {{0, 21, kRail}, {22, 40, kBlack}, {41, 57, kGreen}, {58, 100, kRail}}},
    {40, {{0, 21, kRail}, {22, 22, kGreen}, {23, 39, kBlack}, {40, 100, kGreen}}},
    {44, {{0, 25, kRail}, {26, 100, kGreen}}},
    {58, {{0, 39, kRail}, {40, 100, kGreen}}},
};
const std::vector<std::pair<int, std::vector<Run>>> kMiddleRows = {
    {31, {{400, 427, kRail}, {428, 452, kBlack}, {453, 480, kRail}}},
    {39,
     {{400, 427, kRail},
      {428, 430, kGreen},
      {431, 449, kBlack},
      {450, 452, kGreen},
      {453, 480, kRail}}},
};

std::vector<Run> MirrorColumns(const std::vector<Run>& runs) {
  std::vector<Run> out;
  for (const Run& r : runs) out.push_back({880 - r.to, 880 - r.from, r.colour});
  return out;
}

TEST(TablePicture, CornerAndMiddlePocketsAtAllSixPlaces) {
  auto s = EmptyTable();
  auto fb = PaintedTable(*s);
  ExpectRuns(*fb, 18, {{0, 880, kRail}}, "top rail");
  ExpectRuns(*fb, 480 - 18, {{0, 880, kRail}}, "bottom rail");
  for (const auto& [row, runs] : kCornerRows) {
    ExpectRuns(*fb, row, runs, "top left");
    ExpectRuns(*fb, row, MirrorColumns(runs), "top right");
    ExpectRuns(*fb, 480 - row, runs, "bottom left");
    ExpectRuns(*fb, 480 - row, MirrorColumns(runs), "bottom right");
  }
  for (const auto& [row, runs] : kMiddleRows) {
    ExpectRuns(*fb, row, runs, "top middle");
    ExpectRuns(*fb, 480 - row, runs, "bottom middle");
  }
}

TEST(TablePicture, SymmetricFourColoursAndSpotsWithoutBalls) {
  // Whatever was there before, every pixel of columns 0..880 is repainted.
  constexpr TColor kOld = 0x123456;
  auto s = EmptyTable();
  auto fb = std::make_unique<Framebuffer>();
  for (int y = 0; y < kPanelTop; ++y) FillSpan(*fb, y, 0, kClientWidth - 1, kOld);
  PaintCloth(*fb, *s);
  PaintRails(*fb);
  for (int y = 0; y < kPanelTop; ++y) {
    for (int x = 0; x <= 880; ++x) {
      const TColor c = fb->Pixel(x, y);
      ASSERT_TRUE(c == kRail || c == kGreen || c == kBlack || c == kGrey) << x << "," << y;
      ASSERT_EQ(c, fb->Pixel(880 - x, y)) << x << "," << y;
      if (y >= 1) {
        ASSERT_EQ(c, fb->Pixel(x, 480 - y)) << x << "," << y;
      }
    }
    // The table ends at column 880; the strip is not painted by these two.
    ASSERT_EQ(fb->Pixel(881, y), kOld) << y;
  }
  // Cloth proper: 40..840 on rows 40..440, rail beside it.
  ExpectRuns(*fb, 100, {{0, 39, kRail}, {40, 840, kGreen}, {841, 880, kRail}}, "cloth row");
  ExpectRuns(*fb, 0, {{0, 880, kRail}}, "top row");
  ExpectRuns(*fb, 479, {{0, 880, kRail}}, "last row above the panel");
  // The spots: radius 2 discs at 240, 440 and 640 on rows 238..242.
  for (int spot : {240, 440, 640}) {
    ExpectRuns(
        *fb, 240,
        {{spot - 3, spot - 3, kGreen}, {spot - 2, spot + 2, kGrey}, {spot + 3, spot + 3, kGreen}},
        "spot centre row");
    ExpectRuns(
        *fb, 238,
        {{spot - 2, spot - 2, kGreen}, {spot - 1, spot + 1, kGrey}, {spot + 2, spot + 2, kGreen}},
        "spot top row");
    ExpectRuns(*fb, 237, {{spot - 3, spot + 3, kGreen}}, "above the spot");
    ExpectRuns(*fb, 243, {{spot - 3, spot + 3, kGreen}}, "below the spot");
  }
  EXPECT_EQ(CountColour(*fb, kGrey), 3 * (5 + 5 + 5 + 3 + 3));
}

TEST(TablePicture, BallCentresRoundHalvesToEven) {
  auto s = EmptyTable();
  PlaceBall(*s, 1, 240.5, 100.5);  // painted on (240, 100)
  PlaceBall(*s, 2, 541.5, 101.5);  // painted on (542, 102)
  auto fb = PaintedTable(*s);
  const TColor yellow = colors::kBall[1], blue = colors::kBall[2];
  EXPECT_EQ(RunAround(*fb, 100, 240, yellow).left, 234);
  EXPECT_EQ(RunAround(*fb, 100, 240, yellow).right, 246);
  EXPECT_EQ(RunAround(*fb, 94, 240, yellow).left, 238);
  EXPECT_EQ(RunAround(*fb, 106, 240, yellow).right, 242);
  EXPECT_EQ(fb->Pixel(240, 93), kGreen);
  EXPECT_EQ(fb->Pixel(240, 107), kGreen);
  EXPECT_EQ(RunAround(*fb, 102, 542, blue).left, 536);
  EXPECT_EQ(RunAround(*fb, 102, 542, blue).right, 548);
  EXPECT_EQ(RunAround(*fb, 96, 542, blue).left, 540);
  EXPECT_EQ(RunAround(*fb, 108, 542, blue).right, 544);
  EXPECT_EQ(fb->Pixel(542, 95), kGreen);
  EXPECT_EQ(fb->Pixel(542, 109), kGreen);
  EXPECT_EQ(CountColour(*fb, yellow), 137);  // 5+9+11+11+13*5+11+11+9+5
  EXPECT_EQ(CountColour(*fb, blue), 137);
}

TEST(TablePicture, BallOffTheTableIsNotPainted) {
  auto empty = EmptyTable();
  auto s = EmptyTable();
  PlaceBall(*s, 3, 300.0, 300.0);
  s->Balls[3].OnTable = false;
  PlaceBall(*s, 4, 640.0, 240.0);  // on the foot spot
  s->Balls[4].OnTable = false;
  auto want = PaintedTable(*empty);
  auto got = PaintedTable(*s);
  for (int y = 0; y < kPanelTop; ++y) {
    for (int x = 0; x < kClientWidth; ++x)
      ASSERT_EQ(got->Pixel(x, y), want->Pixel(x, y)) << x << "," << y;
  }
}

TEST(TablePicture, BallsHideSpotsAndHigherNumbersLieOnTop) {
  auto s = EmptyTable();
  PlaceBall(*s, 0, 440.0, 240.0);  // on the centre spot
  PlaceBall(*s, 5, 640.0, 240.0);  // on the foot spot
  PlaceBall(*s, 8, 646.0, 240.0);  // overlapping ball 5 from the right
  auto fb = PaintedTable(*s);
  for (int y = 238; y <= 242; ++y) {
    for (int x = 438; x <= 442; ++x) EXPECT_EQ(fb->Pixel(x, y), kWhite) << x << "," << y;
  }
  // Ball 8 (black) is painted after ball 5 (orange) on every shared row.
  ExpectRuns(*fb, 240,
             {{633, 633, kGreen},
              {634, 639, colors::kBall[5]},
              {640, 652, colors::kBall[8]},
              {653, 653, kGreen}},
             "overlap");
  EXPECT_EQ(CountColour(*fb, kGrey), 5 + 5 + 5 + 3 + 3);  // only the head spot shows
}

TEST(TablePicture, BallsAreCutOffStraightAtTheCushionRows) {
  auto s = EmptyTable();
  PlaceBall(*s, 1, 200.0, 42.0);   // rows 36..48; only 40..48 painted
  PlaceBall(*s, 2, 300.0, 437.0);  // rows 431..443; only 431..440 painted
  PlaceBall(*s, 3, 36.0, 100.0);   // reaches over the rail on its left
  auto fb = std::make_unique<Framebuffer>();
  PaintCloth(*fb, *s);
  const TColor yellow = colors::kBall[1], blue = colors::kBall[2], red = colors::kBall[3];
  for (int y = 36; y <= 39; ++y) EXPECT_EQ(fb->Pixel(200, y), kUnpainted) << y;
  ExpectRuns(*fb, 40, {{193, 193, kGreen}, {194, 206, yellow}, {207, 207, kGreen}}, "top cut");
  for (int y = 441; y <= 443; ++y) EXPECT_EQ(fb->Pixel(300, y), kUnpainted) << y;
  ExpectRuns(*fb, 440, {{294, 294, kGreen}, {295, 305, blue}, {306, 306, kGreen}}, "bottom cut");
  ExpectRuns(*fb, 100, {{29, 29, kUnpainted}, {30, 42, red}, {43, 43, kGreen}}, "over the rail");
}

// The damaged rows as runs [top, bottom).
std::vector<std::pair<int, int>> DamageRuns(Framebuffer& fb) {
  std::vector<std::pair<int, int>> runs;
  fb.TakeDamage().ForEachRun(
      [&](int top, int bottom, int, int) { runs.emplace_back(top, bottom); });
  return runs;
}

// Once the whole cloth has been painted, a paint touches only the rows a ball
// left or entered and the rows another painter wrote over, so only those are
// presented; the whole repaint stays the reference for every pixel.
TEST(TablePicture, RepaintsOnlyTheRowsWhereSomethingChanged) {
  using Runs = std::vector<std::pair<int, int>>;
  auto s = EmptyTable();
  PlaceBall(*s, 1, 200.0, 100.0);
  PlaceBall(*s, 2, 600.0, 300.0);
  auto fb = std::make_unique<Framebuffer>();
  auto whole = std::make_unique<Framebuffer>();
  const auto paintBoth = [&] {
    PaintCloth(*fb, *s);
    whole->Cloth() = {};  // knows nothing: paints the whole cloth
    PaintCloth(*whole, *s);
  };
  paintBoth();
  EXPECT_EQ(DamageRuns(*fb), (Runs{{0, kPanelTop}}));  // a new framebuffer shows nothing yet
  paintBoth();
  EXPECT_EQ(DamageRuns(*fb), Runs{}) << "nothing moved";
  s->Balls[1].Y = 103.0;  // rows 94..106 before, 97..109 now
  s->Balls[2].X = 600.4;  // the same pixel
  paintBoth();
  EXPECT_EQ(DamageRuns(*fb), (Runs{{94, 110}}));
  s->Balls[2].OnTable = false;             // pocketed: its rows show cloth again
  fb->DrawLine(100, 200, 120, 202, kRed);  // the aim guide over the cloth
  FillSpan(*fb, 50, 0, 39, kRail);         // a rail beside the cloth
  FillSpan(*fb, 60, 900, 950, kBlue);      // the control strip
  FillSpan(*whole, 50, 0, 39, kRail);
  FillSpan(*whole, 60, 900, 950, kBlue);
  fb->TakeDamage();
  paintBoth();
  EXPECT_EQ(DamageRuns(*fb), (Runs{{200, 203}, {294, 307}}));
  EXPECT_EQ(
      std::memcmp(fb->Pixels(), whole->Pixels(), sizeof(TColor) * kClientWidth * kClientHeight), 0);
}

// ---------------------------------------------------------------------------
// Aim guide

struct GuideCase {
  std::unique_ptr<TGameState> s = std::make_unique<TGameState>();
  std::unique_ptr<Framebuffer> fb = std::make_unique<Framebuffer>();
  GuideCase(double cx, double cy, double tx, double ty, double ax, double ay, int target = 1) {
    PlaceBall(*s, 0, cx, cy);
    if (target <= 9) PlaceBall(*s, target, tx, ty);
    s->AimX = ax;
    s->AimY = ay;
    s->TargetBall = target;
  }
  void Paint() { PaintAimGuide(*fb, *s); }
};

TEST(AimGuide, FullHitContinuesTheAimThroughTheTarget) {
  GuideCase g(240.0, 240.0, 640.0, 240.0, 400.0, 0.0);
  g.Paint();
  ExpectRuns(*g.fb, 240, {{239, 239, kUnpainted}, {240, 639, kRed}, {640, 1015, kWhite}},
             "row 240");
  EXPECT_EQ(CountColour(*g.fb, kRed), 400);
  EXPECT_EQ(CountColour(*g.fb, kWhite), 1016 - 640);
}

TEST(AimGuide, FullHitOnADiagonal) {
  // Aim straight at the target's centre: the white line goes on at 45 degrees.
  GuideCase g(100.0, 100.0, 300.0, 300.0, 200.0, 200.0);
  g.Paint();
  for (int k = 0; k < 200; ++k) EXPECT_EQ(g.fb->Pixel(100 + k, 100 + k), kRed) << k;
  for (int k = 0; k < 180; ++k) EXPECT_EQ(g.fb->Pixel(300 + k, 300 + k), kWhite) << k;
  EXPECT_EQ(CountColour(*g.fb, kRed), 200);
  EXPECT_EQ(CountColour(*g.fb, kWhite), 180);
}

TEST(AimGuide, GuideLineIsTwelveHundredPixelsLong) {
  // Both balls off to the right of the window, aiming left: the white line
  // runs from x = 1500 back to x = 300, so it enters the window and stops
  // at column 300.
  GuideCase g(1900.0, 240.0, 1500.0, 240.0, -400.0, 0.0);
  g.Paint();
  ExpectRuns(*g.fb, 240, {{299, 299, kUnpainted}, {301, 1015, kWhite}}, "row 240");
  EXPECT_GE(CountColour(*g.fb, kWhite), 715);
  EXPECT_LE(CountColour(*g.fb, kWhite), 716);
  EXPECT_EQ(CountColour(*g.fb, kRed), 0);
}

TEST(AimGuide, MissShowsOnlyTheCueLine) {
  // The aim line passes 13 pixels from the target's centre: no contact.
  GuideCase g(100.0, 100.0, 300.0, 113.0, 100.0, 0.0);
  g.Paint();
  ExpectRuns(*g.fb, 100, {{100, 199, kRed}, {200, 200, kUnpainted}}, "cue line");
  EXPECT_EQ(CountColour(*g.fb, kRed), 100);
  EXPECT_EQ(CountColour(*g.fb, kWhite), 0);
}

TEST(AimGuide, GrazingTouchSendsTheTargetAtRightAngles) {
  // 12 pixels off the aim line: D = 0, contact at t = 2, the target leaves
  // straight down from (300, 112).
  GuideCase g(100.0, 100.0, 300.0, 112.0, 100.0, 0.0);
  g.Paint();
  ExpectRuns(*g.fb, 100, {{100, 199, kRed}}, "cue line");
  for (int y = 112; y < kPanelTop; ++y) EXPECT_EQ(g.fb->Pixel(300, y), kWhite) << y;
  EXPECT_EQ(CountColour(*g.fb, kWhite), kPanelTop - 112);
}

TEST(AimGuide, TargetBehindTheCueBallStillGetsAGuide) {
  // Aim points away from the target; both roots are negative and the white
  // line points from the target towards the cue ball's side.
  GuideCase g(400.0, 240.0, 300.0, 240.0, 100.0, 0.0);
  g.Paint();
  ExpectRuns(*g.fb, 240, {{299, 299, kUnpainted}, {300, 1015, kWhite}}, "row 240");
  EXPECT_EQ(CountColour(*g.fb, kRed), 0);
}

TEST(AimGuide, NoTargetBallLeftMeansOnlyTheCueLine) {
  GuideCase g(100.0, 240.0, 0.0, 0.0, 400.0, 0.0, 10);
  PlaceBall(*g.s, 9, 300.0, 240.0);  // the last ball, right on the aim line
  g.Paint();
  ExpectRuns(*g.fb, 240, {{100, 499, kRed}}, "cue line");
  EXPECT_EQ(CountColour(*g.fb, kRed), 400);
  EXPECT_EQ(CountColour(*g.fb, kWhite), 0);
}

TEST(AimGuide, ZeroAimDrawsNoGuideLine) {
  GuideCase g(300.0, 240.0, 310.0, 240.0, 0.0, 0.0);  // target touching the cue ball
  g.Paint();
  EXPECT_EQ(CountColour(*g.fb, kWhite), 0);
  // The cue line has both ends on the cue ball's centre.
  EXPECT_LE(CountColour(*g.fb, kRed), 1);
  EXPECT_EQ(CountColour(*g.fb, kRed), CountColour(*g.fb, kRed, 300, 300));
}

TEST(AimGuide, EndsAreRoundedHalvesToEven) {
  // Cue ball at (100.5, 40.5) paints from (100, 40); aim end (300.5, 40.5)
  // rounds to (300, 40).
  GuideCase g(100.5, 40.5, 0.0, 0.0, 200.0, 0.0, 10);
  g.Paint();
  ExpectRuns(*g.fb, 40, {{99, 99, kUnpainted}, {100, 299, kRed}, {301, 301, kUnpainted}}, "row 40");
  EXPECT_EQ(CountColour(*g.fb, kRed), CountColour(*g.fb, kRed, 100, 300));
}

// ---------------------------------------------------------------------------
// Control strip

std::unique_ptr<Framebuffer> Strip(double spinX, double spinY, double power, bool timer) {
  auto s = EmptyTable();
  s->SpinX = spinX;
  s->SpinY = spinY;
  s->Power = power;
  auto fb = std::make_unique<Framebuffer>();
  PaintPanel(*fb, *s, timer);
  return fb;
}

TEST(ControlStrip, PlainBlueWhileTheTimerRuns) {
  auto fb = Strip(0.3, -0.3, 0.1, true);
  for (int y = 0; y < kPanelTop; ++y) {
    ASSERT_EQ(fb->Pixel(880, y), kUnpainted) << y;
    for (int x = 881; x < kClientWidth; ++x) ASSERT_EQ(fb->Pixel(x, y), kBlue) << x << "," << y;
  }
  EXPECT_EQ(CountColour(*fb, kBlue), 135 * 480);
}

// The first white row of the bar, read off columns 996..1012.
void ExpectBar(const Framebuffer& fb, int firstWhite, const std::string& what) {
  for (int y = 0; y < kPanelTop; ++y) {
    TColor want = kBlue;
    if (y <= 440 && y >= firstWhite)
      want = kWhite;
    else if (y >= 40 && y <= 440)
      want = kBlack;
    ExpectRuns(fb, y, {{995, 995, kBlue}, {996, 1012, want}, {1013, 1015, kBlue}}, what);
  }
}

TEST(ControlStrip, PowerBarLevels) {
  EXPECT_EQ(PowerBarLevel(0.0), 440);
  EXPECT_EQ(PowerBarLevel(0.2), 40);
  EXPECT_EQ(PowerBarLevel(0.08), 280);
  EXPECT_EQ(PowerBarLevel(0.4), -360);
  ExpectBar(*Strip(0, 0, 0.0, false), 440, "power 0");
  ExpectBar(*Strip(0, 0, 0.2, false), 40, "power 0.2");
  ExpectBar(*Strip(0, 0, 0.08, false), 280, "power 0.08");
  ExpectBar(*Strip(0, 0, 0.4, false), 0, "power 0.4");
  EXPECT_EQ(CountColour(*Strip(0, 0, 0.4, false), kBlack, 881, 1015), 0);
  // A power set from the bar gives back the row the pointer was on.
  for (int row = 40; row <= 440; ++row) EXPECT_EQ(PowerBarLevel(PowerAtBarRow(row)), row);
}

// --- Lines with far-off ends ------------------------------------------------

// The line stepped pixel by pixel over the whole plane, with nothing cut
// away: what DrawLine must paint of it is exactly the part inside the
// drawing area.
void WholeLine(Framebuffer& fb, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
               TColor colour) {
  const std::int64_t dx = std::llabs(x1 - x0), dy = -std::llabs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  std::int64_t err = dx + dy, x = x0, y = y0;
  while (x != x1 || y != y1) {
    if (x >= 0 && x < kClientWidth && y >= 0 && y < kPanelTop) {
      FillSpan(fb, static_cast<int>(y), static_cast<int>(x), static_cast<int>(x), colour);
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

TEST(DrawLine, CutLinesKeepThePixelsOfTheWholeLine) {
  testing::SplitMix64 rng(20261209);
  const auto coord = [&](std::int64_t reach) { return rng.Between(-reach, reach); };
  int crossing = 0;
  auto got = std::make_unique<Framebuffer>();
  auto want = std::make_unique<Framebuffer>();
  want->TakeDamage();
  for (int i = 0; i < 1500; ++i) {
    // Ends inside, near and well outside the window, lines of every slope,
    // and now and then a very short one.
    const std::int64_t reach = i % 3 == 0 ? 1200 : i % 3 == 1 ? 6000 : 20000;
    const std::int64_t x0 = coord(reach) + 500, y0 = coord(reach) + 240;
    std::int64_t x1 = coord(reach) + 500, y1 = coord(reach) + 240;
    if (i % 10 == 0) {
      x1 = x0 + coord(2);
      y1 = y0 + coord(2);
    }
    got->DrawLine(x0, y0, x1, y1, kRed);
    WholeLine(*want, x0, y0, x1, y1, kRed);
    crossing += !want->TakeDamage().Empty();
    if (std::memcmp(got->Pixels(), want->Pixels(), sizeof(TColor) * kClientWidth * kClientHeight) ==
        0) {
      // Both back to a bare client area for the next line.
      got->DrawLine(x0, y0, x1, y1, kUnpainted);
      WholeLine(*want, x0, y0, x1, y1, kUnpainted);
      want->TakeDamage();
      continue;
    }
    for (int y = 0; y < kClientHeight; ++y) {
      for (int x = 0; x < kClientWidth; ++x) {
        ASSERT_EQ(got->Pixel(x, y), want->Pixel(x, y))
            << "line (" << x0 << ", " << y0 << ") to (" << x1 << ", " << y1 << ") at " << x << ","
            << y;
      }
    }
  }
  EXPECT_GT(crossing, 200);  // a good share of the lines cross the window
}

TEST(DrawLine, FarEndsKeepTheTrueSlope) {
  // Ends up to 2^36 pixels away: every pixel painted lies on the true line
  // (within half a pixel across it), and the line is not broken anywhere.
  const std::int64_t far = std::int64_t{1} << 36;
  struct Case {
    std::int64_t x0, y0, x1, y1;
  } cases[] = {
      {440, 240, -20000000, 10000000},  // the slope -1/2 that clamping each end broke
      {440, 240, far, far / 3},        {440, 240, -far / 7, -far},     {-far, 100, far, 300},
      {300, -far, 700, far},           {-far, -far + 5, far, far - 3},
  };
  for (const Case& c : cases) {
    auto fb = std::make_unique<Framebuffer>();
    fb->DrawLine(c.x0, c.y0, c.x1, c.y1, kRed);
    const long double dx = static_cast<long double>(c.x1 - c.x0);
    const long double dy = static_cast<long double>(c.y1 - c.y0);
    const bool xMajor = std::fabs(dx) >= std::fabs(dy);
    int painted = 0;
    std::vector<int> perMajor(xMajor ? kClientWidth : kPanelTop, 0);
    for (int y = 0; y < kPanelTop; ++y) {
      for (int x = 0; x < kClientWidth; ++x) {
        if (fb->Pixel(x, y) != kRed) continue;
        ++painted;
        ++perMajor[xMajor ? x : y];
        // Distance along the minor axis from the true line.
        const long double off =
            xMajor ? (y - c.y0) - dy * (x - c.x0) / dx : (x - c.x0) - dx * (y - c.y0) / dy;
        EXPECT_LE(std::fabs(off), 0.5L + 1e-9L) << "(" << x << ", " << y << ")";
      }
    }
    ASSERT_GT(painted, 100) << c.x1 << "," << c.y1;
    // One pixel on each step of the major axis between the first and last.
    int first = 0, last = static_cast<int>(perMajor.size()) - 1;
    while (perMajor[first] == 0) ++first;
    while (perMajor[last] == 0) --last;
    for (int k = first; k <= last; ++k) EXPECT_EQ(perMajor[k], 1) << k;
  }
}

TEST(AimGuide, CueLineToAFarPointerKeepsItsDirection) {
  // The pointer 20 million pixels to the left and 10 million down.
  GuideCase g(240.0, 240.0, 640.0, 240.0, -20000240.0, 9999760.0);
  g.Paint();
  std::vector<std::pair<int, int>> red;
  for (int y = 0; y < kPanelTop; ++y) {
    for (int x = 0; x < kClientWidth; ++x) {
      if (g.fb->Pixel(x, y) == kRed) red.emplace_back(x, y);
    }
  }
  ASSERT_EQ(red.size(), 241u);  // from column 240 to the window's left edge
  for (const auto& [x, y] : red) {
    const double onLine = 240.0 + (x - 240.0) * (9999760.0 / -20000240.0);
    EXPECT_LE(std::fabs(y - onLine), 0.5) << x << "," << y;
  }
  EXPECT_EQ(g.fb->Pixel(0, 360), kRed);
}

TEST(Framebuffer, NewClientAreaShowsTheButtonFace) {
  auto fb = std::make_unique<Framebuffer>();
  for (int y = 0; y < kClientHeight; ++y) {
    for (int x = 0; x < kClientWidth; ++x) ASSERT_EQ(fb->Pixel(x, y), 0xF0F0F0u) << x << "," << y;
  }
}

// The marker: a red radius-3 disc (widths 7, 7, 7, 5) over the white disc.
void ExpectMarkerAt(const Framebuffer& fb, int mx, int my, const std::string& what) {
  const int half[4] = {3, 3, 3, 2};
  for (int dy = -4; dy <= 4; ++dy) {
    const int y = my + dy;
    const int ady = dy < 0 ? -dy : dy;
    if (ady <= 3) {
      const Span s = RunAround(fb, y, mx, kRed);
      EXPECT_EQ(s.left, mx - half[ady]) << what << " row " << y;
      EXPECT_EQ(s.right, mx + half[ady]) << what << " row " << y;
    } else {
      EXPECT_NE(fb.Pixel(mx, y), kRed) << what << " row " << y;
    }
  }
  EXPECT_EQ(CountColour(fb, kRed), 7 + 7 + 7 + 7 + 7 + 5 + 5) << what;
}

TEST(ControlStrip, SpinDiscAndMarker) {
  auto centre = Strip(0.0, 0.0, 0.08, false);
  ExpectMarkerAt(*centre, 930, 240, "spin (0, 0)");
  ExpectMarkerAt(*Strip(0.6, 0.0, 0.08, false), 948, 240, "spin (0.6, 0)");
  ExpectMarkerAt(*Strip(0.0, 0.6, 0.08, false), 930, 222, "spin (0, 0.6)");
  // Red wins over the white disc on the rows they share; the disc shows
  // beside the marker.
  ExpectRuns(*centre, 240,
             {{899, 899, kBlue},
              {900, 926, kWhite},
              {927, 933, kRed},
              {934, 960, kWhite},
              {961, 961, kBlue}},
             "marker row");
  // The disc itself: radius 30 around (930, 240), 61 wide on rows 235..245.
  ExpectRuns(*centre, 235, {{899, 899, kBlue}, {900, 960, kWhite}, {961, 961, kBlue}}, "disc");
  ExpectRuns(*centre, 210, {{924, 924, kBlue}, {925, 935, kWhite}, {936, 936, kBlue}}, "disc top");
  ExpectRuns(*centre, 209, {{920, 940, kBlue}}, "above the disc");
  ExpectRuns(*centre, 271, {{920, 940, kBlue}}, "below the disc");
  // A marker at the disc's rim is red over blue as well.
  auto rim = Strip(1.0, 0.0, 0.08, false);
  ExpectRuns(*rim, 240, {{956, 956, kWhite}, {957, 963, kRed}, {964, 964, kBlue}}, "rim");
}

}  // namespace
}  // namespace tavoren
