// The end of a shot: once every ball rests, the shot is judged and either a
// foul is announced (the table then waits for Backspace or Home) or the next
// shot is set up at the lowest ball left.
#include "app/form.h"

namespace tavoren {

bool TForm1::CheckShotEnd() {
  for (const TBall& b : Balls) {
    if (b.OnTable && !AtRest(b)) return false;
  }
  PaintCloth();
  // A foul keeps the timer running, so every later tick judges it again.
  const char* foul = nullptr;
  if (!Balls[0].OnTable) {
    foul = msg::kScratch;
  } else if (!LegalFirstHit) {
    foul = msg::kWrongFirst;
  } else if (!CushionHit) {
    foul = msg::kNoCushion;
  }
  if (foul != nullptr) {
    PanelForMsg.SetCaption(foul);
    PaintPanel();
    return false;
  }
  TargetBall = 1;
  while (TargetBall <= 9 && !Balls[TargetBall].OnTable) ++TargetBall;
  if (TargetBall == 10) {
    PanelForMsg.SetCaption(msg::kCleared);
  } else if (!Balls[9].OnTable) {
    PanelForMsg.SetCaption(msg::kNineBall);
  } else {
    PanelForMsg.SetCaption(msg::kAiming);
  }
  TimerForCycle.SetEnabled(false);
  // With no object ball left there is nothing to aim at; the aim stays.
  if (TargetBall <= 9) {
    AimX = Balls[TargetBall].X - Balls[0].X;
    AimY = Balls[TargetBall].Y - Balls[0].Y;
  }
  SpinX = 0.0;
  SpinY = 0.0;
  PaintCloth();
  PaintRails();
  if (Balls[9].OnTable) PaintAimGuide();
  PaintPanel();
  return true;
}

}  // namespace tavoren
