// What the test programs share: bit-exact comparison of doubles and balls,
// a platform with nothing behind it, the rack's random draws as the tests
// compute them on their own, and timeline scripts from text.
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
  if (!SameDouble(a.SpinX, b.SpinX) || !SameDouble(a.SpinY, b.SpinY) || !SameDouble(a.AimX, b.AimX) ||
      !SameDouble(a.AimY, b.AimY) || !SameDouble(a.Power, b.Power) || a.TargetBall != b.TargetBall) {
    return "the shot settings";
  }
  return "";
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

// The rack's jitter: the 32-bit linear congruential generator seeded with
// the clock reading, each draw in [0, 1).
class RackRandom {
 public:
  explicit RackRandom(std::uint32_t seed) : state_(seed) {}
  double Next() {
    state_ = state_ * 134775813u + 1u;
    return static_cast<double>(state_) * 0x1p-32;
  }

 private:
  std::uint32_t state_;
};

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
