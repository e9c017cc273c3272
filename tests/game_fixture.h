// Shared by the game tests: a headless program to drive with timeline
// scripts, and a few ways to lay out a table by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "tests/support.h"

namespace tavoren::testing {

// What a test wants to know at a `state` command of its script.
struct Seen {
  std::int64_t t;
  std::int32_t pos, last;
  std::string panel;
  bool running;
  std::int32_t target;
  TBall balls[10];
};

class GameTest : public ::testing::Test, public headless::Observer {
 protected:
  GameTest() : platform_(std::make_unique<headless::HeadlessPlatform>()), f(platform_->Form()) {}

  // Runs a script from the current virtual time on; fails the test on a
  // parse error.
  void Play(const std::string& text) { platform_->Run(Script(text), this); }

  // A rack at a fixed clock, judged by its first tick: the aiming mode.
  void Rack(std::uint32_t clock = 1000) {
    Play("clock " + std::to_string(clock) + "\nshow\nsettle\n");
    ASSERT_FALSE(f.TimerForCycle.Enabled());
  }

  // Takes every ball but the cue ball and `keep` off the table and puts
  // them where the test wants them, all at rest.
  void Layout(double cueX, double cueY, int ball, double x, double y) {
    for (int i = 0; i < 10; ++i) {
      TBall& b = f.Balls[i];
      b.OnTable = i == 0 || i == ball;
      b.VX = b.VY = b.RollX = b.RollY = b.SideSpin = 0.0;
    }
    f.Balls[0].X = cueX;
    f.Balls[0].Y = cueY;
    f.Balls[ball].X = x;
    f.Balls[ball].Y = y;
    f.TargetBall = ball;
  }

  std::string Panel() const { return f.PanelForMsg.Caption(); }
  bool Running() const { return f.TimerForCycle.Enabled(); }

  void OnSettle(bool settled, std::int64_t ms) override { settles.push_back(settled ? ms : -ms); }
  void OnState() override {
    Seen s{platform_->Now(), f.HistoryPos, f.HistoryLast, Panel(), Running(), f.TargetBall, {}};
    for (int i = 0; i < 10; ++i) s.balls[i] = f.Balls[i];
    seen.push_back(s);
    if (onState) onState();
  }
  void OnFrame(const std::string&) override {}
  void OnHandlerDone() override {
    if (afterHandler) afterHandler();
  }

  std::unique_ptr<headless::HeadlessPlatform> platform_;
  TForm1& f;
  std::vector<std::int64_t> settles;  // settled T as T, unsettled T as -T
  std::vector<Seen> seen;
  std::function<void()> afterHandler;
  std::function<void()> onState;  // runs at every `state`, inside pauses too
};

}  // namespace tavoren::testing
