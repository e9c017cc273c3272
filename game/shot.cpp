// Shot input: the left mouse button sets aim (table), spin (disc) and power
// (bar); Enter strikes the cue ball.
#include <cmath>

#include "app/form.h"

namespace tavoren {

namespace {
constexpr double kPowerAfterStrike = 0.08;
}  // namespace

void TForm1::FormMouseMove(TShiftState Shift, int X, int Y) {
  if (!(Shift & ssLeft) || TimerForCycle.Enabled() || !Balls[0].OnTable) return;
  if (X < table::kTableRight) {
    AimX = static_cast<double>(X) - Balls[0].X;
    AimY = static_cast<double>(Y) - Balls[0].Y;
    PaintCloth();
    PaintRails();
    PaintAimGuide();
    PaintPanel();
  } else if (X < strip::kBarColumn) {
    using namespace strip;
    // In doubles: a pointer far above or below the window must not overflow.
    double dx = static_cast<double>(X) - kSpinDiscX;
    double dy = static_cast<double>(Y) - kSpinDiscY;
    const double d = std::sqrt(dx * dx + dy * dy);
    if (d > kSpinLimit) {
      dx = (dx / d) * kSpinLimit;
      dy = (dy / d) * kSpinLimit;
    }
    SpinX = dx / kSpinDiscRadius;
    SpinY = (-dy) / kSpinDiscRadius;
    PaintPanel();
  } else {
    Power = PowerAtBarRow(Y);
    PaintPanel();
  }
  // A changed shot is a new shot: the recorded future is gone.
  HistoryLast = HistoryPos;
  PanelForMsg.SetCaption(msg::kAiming);
}

// Turns the settings into the cue ball's motion and starts the cycle. An
// aim of zero length gives no direction; such an Enter is refused before
// anything is recorded (see FormKeyDown).
void TForm1::Strike() {
  const double L = std::sqrt(AimX * AimX + AimY * AimY);
  const double K = 1.0 - (SpinX * SpinX + SpinY * SpinY);
  TBall& cue = Balls[0];
  cue.VX = (Power * K) * (AimX / L);
  cue.VY = (Power * K) * (AimY / L);
  cue.RollX = (Power * SpinY) * (AimX / L);
  cue.RollY = (Power * SpinY) * (AimY / L);
  cue.SideSpin = Power * SpinX;
  FirstContactSeen = false;
  LegalFirstHit = false;
  CushionHit = false;
  // The next shot is offered at a medium strength (the bar's row 280), so a
  // bare Enter never fires the break's double power or a hard shot again.
  Power = kPowerAfterStrike;
  PanelForMsg.SetCaption(msg::kStrike);
  TimerForCycle.SetEnabled(true);
  PaintRails();
  PaintPanel();
}

bool TForm1::CanStrike() const { return std::sqrt(AimX * AimX + AimY * AimY) != 0.0; }

}  // namespace tavoren
