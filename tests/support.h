// What the test programs share: bit-exact comparison of doubles and balls,
// a platform with nothing behind it, the rack as the tests work it out on
// their own, and timeline scripts from text.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "game/state.h"
#include "platform/headless/script.h"
#include "platform/platform.h"

namespace tavoren::testing {

// The bits of a double: equal bits are the very same value, and -0.0 and
// 0.0 differ.
inline std::uint64_t Bits(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

inline bool SameDouble(double a, double b) { return Bits(a) == Bits(b); }

inline bool SameBall(const TBall& a, const TBall& b) {
  return a.OnTable == b.OnTable && a.Color == b.Color && SameDouble(a.X, b.X) &&
         SameDouble(a.Y, b.Y) && SameDouble(a.VX, b.VX) && SameDouble(a.VY, b.VY) &&
         SameDouble(a.RollX, b.RollX) && SameDouble(a.RollY, b.RollY) &&
         SameDouble(a.SideSpin, b.SideSpin);
}

// What differs between two shot starts, bit for bit: "" when nothing does,
// else "ball N" for the first ball that differs or "the shot settings".
inline std::string ShotDifference(const TSnapshot& a, const TSnapshot& b) {
  for (int i = 0; i < 10; ++i) {
    if (!SameBall(a.Balls[i], b.Balls[i])) return "ball " + std::to_string(i);
  }
  if (!SameDouble(a.SpinX, b.SpinX) || !SameDouble(a.SpinY, b.SpinY) ||
      !SameDouble(a.AimX, b.AimX) || !SameDouble(a.AimY, b.AimY) || !SameDouble(a.Power, b.Power) ||
      a.TargetBall != b.TargetBall) {
    return "the shot settings";
  }
  return "";
}

inline bool SameBalls(const TBall (&a)[10], const TBall (&b)[10]) {
  for (int i = 0; i < 10; ++i) {
    if (!SameBall(a[i], b[i])) return false;
  }
  return true;
}

// A platform for a form driven by hand: a clock that stands at `clock`, a
// timer that only remembers whether it is enabled, a panel that only
// remembers its text.
class StillPlatform final : public Platform {
 public:
  void SetCycleTimer(bool enabled) override { timer = enabled; }
  bool CycleTimerEnabled() const override { return timer; }
  std::uint32_t Milliseconds() override { return clock; }
  void SetPanelText(const char* utf8) override { panel = utf8; }
  const char* PanelText() const override { return panel; }
  void CloseWindow() override {}
  void ProcessMessages() override {}
  std::uint32_t clock = 0;
  bool timer = false;
  const char* panel = "";
};

// A new rack as the tests work it out on their own: each ball's place and
// colour as the table is laid out, and the jitter, twenty draws of the 32-bit
// linear congruential generator seeded with the clock reading, each draw in
// [0, 1), the cue ball first, x before y.
constexpr int kRackPlaceX[10] = {240, 640, 662, 684, 662, 673, 673, 651, 651, 662};
constexpr int kRackPlaceY[10] = {240, 240, 252, 240, 228, 246, 234, 246, 234, 240};
constexpr TColor kBallColour[10] = {0xFFFFFF, 0x00FFFF, 0xFF0000, 0x0000FF, 0x800080,
                                    0x0080FF, 0x008000, 0x000080, 0x000000, 0x60FFFF};

struct Rack {
  TBall balls[10];
};

inline Rack RackFromClock(std::uint32_t clock) {
  std::uint32_t state = clock;
  auto draw = [&state] {
    state = state * 134775813u + 1u;
    return static_cast<double>(state) * 0x1p-32;
  };
  Rack rack;
  for (int i = 0; i < 10; ++i) {
    TBall& b = rack.balls[i];
    b.OnTable = true;
    b.Color = kBallColour[i];
    const double rx = draw();
    b.X = (rx + kRackPlaceX[i]) - 0.5;
    const double ry = draw();
    b.Y = (ry + kRackPlaceY[i]) - 0.5;
  }
  return rack;
}

// Empty when the balls lie as the rack of that clock reading puts them, all
// at rest; otherwise the first ball that does not.
inline std::string RackDiffers(const TBall (&balls)[10], std::uint32_t clock) {
  const Rack want = RackFromClock(clock);
  for (int i = 0; i < 10; ++i) {
    const TBall& b = balls[i];
    if (b.OnTable != want.balls[i].OnTable || b.Color != want.balls[i].Color ||
        !SameDouble(b.X, want.balls[i].X) || !SameDouble(b.Y, want.balls[i].Y) || !AtRest(b)) {
      return "ball " + std::to_string(i) + " is not where the rack of clock " +
             std::to_string(clock) + " puts it";
    }
  }
  return "";
}

// A timeline script from its text; a script that does not parse fails the
// test and gives no commands.
inline std::vector<headless::Command> Script(const std::string& text) {
  std::vector<headless::Command> script;
  headless::ParseError error;
  if (!headless::ParseScript(text, script, error)) {
    ADD_FAILURE() << "script line " << error.line << ": " << error.message;
    script.clear();
  }
  return script;
}

}  // namespace tavoren::testing
