// A shot start as the history keeps it: the balls and the shot settings.
#include "game/state.h"

namespace tavoren {

void RecordSnapshot(const TGameState& s, TSnapshot& into) {
  for (int i = 0; i < 10; ++i) into.Balls[i] = s.Balls[i];
  into.SpinX = s.SpinX;
  into.SpinY = s.SpinY;
  into.AimX = s.AimX;
  into.AimY = s.AimY;
  into.Power = s.Power;
  into.TargetBall = s.TargetBall;
}

void RestoreSnapshot(const TSnapshot& from, TGameState& s) {
  for (int i = 0; i < 10; ++i) s.Balls[i] = from.Balls[i];
  s.SpinX = from.SpinX;
  s.SpinY = from.SpinY;
  s.AimX = from.AimX;
  s.AimY = from.AimY;
  s.Power = from.Power;
  s.TargetBall = from.TargetBall;
}

}  // namespace tavoren
