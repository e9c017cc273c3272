// A new game: FormShow racks the balls with a small jitter and arms the
// break. Called by the window's first show and by the Home key.
#include "app/form.h"

namespace tavoren {

double TForm1::NextRandom() {
  RandSeed = RandSeed * 134775813u + 1u;
  return static_cast<double>(RandSeed) * 0x1p-32;
}

void TForm1::FormShow() {
  RandSeed = platform_.Milliseconds();
  HistoryLast = 0;
  HistoryPos = 0;
  for (int i = 0; i < 10; ++i) {
    TBall& b = Balls[i];
    b.OnTable = true;
    b.Color = colors::kBall[i];
    b.VX = 0.0;
    b.VY = 0.0;
    b.RollX = 0.0;
    b.RollY = 0.0;
    b.SideSpin = 0.0;
    const double rx = NextRandom();
    b.X = (rx + static_cast<double>(kRackLayout[i].X + table::kFootSpotX)) - 0.5;
    const double ry = NextRandom();
    b.Y = (ry + static_cast<double>(kRackLayout[i].Y + table::kFootSpotY)) - 0.5;
  }
  TargetBall = 1;
  LegalFirstHit = true;
  CushionHit = true;
  // The break: twice the power the bar can set, straight from the head spot
  // to the foot spot. The spin is left alone; the first tick centres it.
  Power = 2.0 * strip::kFullPower;
  AimX = table::kFootSpotX - table::kSpotColumns[0];
  AimY = 0.0;
  TimerForCycle.SetEnabled(true);
}

}  // namespace tavoren
