// The history of shot starts: recording, undo, and the replays that run
// through the key handler with two-second pauses, driven through the
// headless timeline exactly as a player's session would run.
#include <tuple>

#include "game/state.h"
#include "game_fixture.h"

namespace tavoren::testing {
namespace {

class History : public GameTest {
 protected:
  // A legal shot from a hand-made layout: the cue ball drives ball 9 straight
  // into the right end cushion at row y, which keeps it on the table.
  void StraightShot(double y) {
    Layout(240.0, y, 9, 640.0, y);
    f.AimX = 400.0;
    f.AimY = 0.0;
    f.SpinX = f.SpinY = 0.0;
    f.Power = 0.2;
    Play("key 13\nsettle\n");
    ASSERT_FALSE(Running()) << Panel();
    ASSERT_TRUE(f.Balls[9].OnTable);
    ASSERT_TRUE(f.Balls[0].OnTable);
  }

  // A legal shot that sends ball 9 into the top middle pocket while ball 8
  // stays on the table: the nine-ball ends the game.
  void NineBallShot() {
    Layout(440.0, 300.0, 9, 440.0, 200.0);
    f.Balls[8].OnTable = true;
    f.Balls[8].X = 700.0;
    f.Balls[8].Y = 400.0;
    f.AimX = 0.0;
    f.AimY = -100.0;
    f.SpinX = f.SpinY = 0.0;
    f.Power = 0.2;
    Play("key 13\n");
  }

  // `state` every `every` ms for `ms` ms.
  void Sample(int ms, int every = 10) {
    std::string script;
    for (int t = 0; t < ms; t += every) script += "wait " + std::to_string(every) + "\nstate\n";
    Play(script);
  }

  using Row = std::tuple<std::int32_t, std::int32_t, std::string, bool>;
  // The distinct (pos, last, panel, running) rows of the samples, in order.
  std::vector<Row> Trace() const {
    std::vector<Row> rows;
    for (const Seen& s : seen) {
      Row r{s.pos, s.last, s.panel, s.running};
      if (rows.empty() || rows.back() != r) rows.push_back(r);
    }
    return rows;
  }

  // How long the row matching `row` lasted the first time it was seen from
  // index `from` on: last sample time minus first.
  std::int64_t Span(const Row& row, std::size_t& from) const {
    std::int64_t first = -1, lastT = -1;
    for (; from < seen.size(); ++from) {
      const Seen& s = seen[from];
      const bool match = Row{s.pos, s.last, s.panel, s.running} == row;
      if (match && first < 0) first = s.t;
      if (match) lastT = s.t;
      if (!match && first >= 0) break;
    }
    return lastT - first;
  }

  const TSnapshot& Entry(int n) const { return f.HistoryEntry(n); }
};

TEST_F(History, GameEndingWithTheNineBallReplaysItselfInALoop) {
  Rack();
  EXPECT_EQ(std::make_tuple(f.HistoryPos, f.HistoryLast), std::make_tuple(0, 0));
  StraightShot(300.0);
  EXPECT_EQ(std::make_tuple(f.HistoryPos, f.HistoryLast), std::make_tuple(1, 1));
  EXPECT_EQ(Panel(), msg::kAiming);
  StraightShot(200.0);
  EXPECT_EQ(std::make_tuple(f.HistoryPos, f.HistoryLast), std::make_tuple(2, 2));
  NineBallShot();
  EXPECT_EQ(std::make_tuple(f.HistoryPos, f.HistoryLast), std::make_tuple(3, 3));
  EXPECT_EQ(Panel(), msg::kStrike);

  // Two full loops of the game at 10 ms resolution.
  Sample(60000);
  const std::vector<Row> expected = {
      {3, 3, msg::kStrike, true},     // shot 3 rolling
      {3, 3, msg::kNineBall, false},  // the final position, two seconds
      {0, 3, msg::kNineBall, true},   // the timer runs again
      {0, 3, msg::kUndone, false},    // the rack before the break, two seconds
      {1, 3, msg::kStrike, true},     // the break replayed
      {1, 3, msg::kUndone, false},    // the start of shot 2
      {2, 3, msg::kStrike, true},    {2, 3, msg::kUndone, false},    // the start of shot 3
      {3, 3, msg::kStrike, true},    {3, 3, msg::kNineBall, false},  // and again from the top
      {0, 3, msg::kNineBall, true},  {0, 3, msg::kUndone, false},   {1, 3, msg::kStrike, true},
  };
  const std::vector<Row> trace = Trace();
  ASSERT_GE(trace.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(trace[i], expected[i]) << "row " << i;
  }

  // Each pause lasts two seconds; the restart waits for one tick.
  std::size_t at = 0;
  EXPECT_LE(Span(expected[0], at), 60000);
  // Samples every 10 ms inside a pause of 2000 ms: the first 10 ms in, the
  // last 10 ms before its end.
  EXPECT_EQ(Span(expected[1], at), 1980);
  EXPECT_LE(Span(expected[2], at), 40);
  EXPECT_EQ(Span(expected[3], at), 1980);

  // What each pause shows: the recorded start of the next shot.
  for (const Seen& s : seen) {
    if (s.panel != msg::kUndone) continue;
    const TSnapshot& next = Entry(s.pos + 1);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(SameBall(s.balls[i], next.Balls[i])) << s.t;
  }
  // Every replay of shot 3 ends exactly where the shot ended the first time.
  const Seen* firstEnd = nullptr;
  int ends = 0;
  for (const Seen& s : seen) {
    if (s.panel != msg::kNineBall || s.running) continue;
    if (firstEnd == nullptr) firstEnd = &s;
    ++ends;
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(SameBall(s.balls[i], firstEnd->balls[i])) << s.t;
  }
  EXPECT_GT(ends, 2 * 198);  // at least two final pauses seen in full
  ASSERT_NE(firstEnd, nullptr);
  EXPECT_FALSE(firstEnd->balls[9].OnTable);
}

TEST_F(History, BackspaceStepsBackToTheRack) {
  Rack();
  TBall rack[10];
  std::copy(std::begin(f.Balls), std::end(f.Balls), rack);
  // The break as racked, then two more from layouts.
  Play("key 13\nsettle\n");
  ASSERT_FALSE(Running());
  StraightShot(300.0);
  StraightShot(200.0);
  ASSERT_EQ(f.HistoryPos, 3);
  Play("key 8\nkey 8\nkey 8\n");
  EXPECT_EQ(f.HistoryPos, 0);
  EXPECT_EQ(f.HistoryLast, 3);
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(SameBall(f.Balls[i], rack[i])) << i;
  EXPECT_EQ(f.Power, 0.4);
  EXPECT_EQ(Panel(), msg::kUndone);
  EXPECT_FALSE(Running());
}

TEST_F(History, RefiredShotEndsBitForBitWhereItEndedFirst) {
  Rack(987654);
  Play("key 13\nsettle\n");
  TBall first[10];
  std::copy(std::begin(f.Balls), std::end(f.Balls), first);
  Play("key 8\nkey 13\nsettle\n");
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(SameBall(f.Balls[i], first[i])) << "ball " << i;
}

TEST_F(History, TwoUndosReplayBothShotsWithAPauseBetween) {
  Rack();
  StraightShot(300.0);
  StraightShot(150.0);
  TBall end[10];
  std::copy(std::begin(f.Balls), std::end(f.Balls), end);
  Play("key 8\nkey 8\nkey 13\n");
  EXPECT_EQ(f.HistoryPos, 1);
  // During the pause the window shows shot 2's start with its cue line,
  // which runs right from the cue ball at (240, 150).
  int cueLineSeen = 0;
  onState = [&] {
    if (platform_->NestingDepth() > 0 && Panel() == msg::kUndone) {
      cueLineSeen += f.Canvas.Pixel(300, 150) == colors::kRed;
    }
  };
  Sample(30000);
  EXPECT_EQ(cueLineSeen, 199);
  const std::vector<Row> trace = Trace();
  const std::vector<Row> expected = {
      {1, 2, msg::kStrike, true},
      {1, 2, msg::kUndone, false},  // the start of shot 2, two seconds
      {2, 2, msg::kStrike, true},
      {2, 2, msg::kAiming, false},  // play goes on
  };
  ASSERT_EQ(trace, expected);
  std::size_t at = 0;
  Span(expected[0], at);
  EXPECT_EQ(Span(expected[1], at), 1980);
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(SameBall(f.Balls[i], end[i])) << i;
}

TEST_F(History, ClickAfterAnUndoDiscardsTheFuture) {
  Rack();
  StraightShot(300.0);
  StraightShot(200.0);
  Play("key 8\n");
  ASSERT_EQ(std::make_tuple(f.HistoryPos, f.HistoryLast), std::make_tuple(1, 2));
  Play("press 600 100\n");
  EXPECT_EQ(f.HistoryLast, 1);
  EXPECT_EQ(Panel(), msg::kAiming);
  Play("key 13\nsettle 100000\n");
  EXPECT_EQ(std::make_tuple(f.HistoryPos, f.HistoryLast), std::make_tuple(2, 2));
}

TEST_F(History, BackspaceInterruptsAMovingShot) {
  Rack();
  TBall rack[10];
  std::copy(std::begin(f.Balls), std::end(f.Balls), rack);
  Play("key 13\nwait 400\n");
  ASSERT_TRUE(Running());
  ASSERT_NE(f.Balls[0].X, rack[0].X);
  Play("key 8\n");
  EXPECT_FALSE(Running());
  EXPECT_EQ(f.HistoryPos, 0);
  EXPECT_EQ(f.HistoryLast, 1);
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(SameBall(f.Balls[i], rack[i])) << i;
  EXPECT_EQ(Panel(), msg::kUndone);
  Play("wait 400\n");  // and it stays stopped
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(SameBall(f.Balls[i], rack[i])) << i;
}

TEST_F(History, BackspaceAfterAFoulRestoresTheFoulShotsStart) {
  Rack();
  Layout(240.0, 240.0, 9, 640.0, 240.0);
  f.AimX = 0.0;
  f.AimY = 100.0;  // straight down, missing ball 9
  f.Power = 0.1;
  const TBall start = f.Balls[0];
  Play("key 13\nsettle 60000\n");
  ASSERT_EQ(Panel(), msg::kWrongFirst);
  ASSERT_TRUE(Running());
  Play("key 8\n");
  EXPECT_FALSE(Running());
  EXPECT_TRUE(SameBall(f.Balls[0], start));
  EXPECT_EQ(f.AimY, 100.0);
  EXPECT_EQ(f.Power, 0.1);
  EXPECT_EQ(f.TargetBall, 9);
}

// --- Ways out of a running replay ---

// Keys and clicks that a player gives during a pause reach the program from
// inside the pause's message processing. A `state` command is handled at the
// same place, so the tests act from there, once, when the moment has come.
class ReplayExit : public History {
 protected:
  // Two legal shots recorded, both undone, the replay started: shot 1 moves.
  void StartReplayOfTwo() {
    Rack();
    StraightShot(300.0);
    StraightShot(150.0);
    Play("key 8\nkey 8\nkey 13\n");
    ASSERT_TRUE(Running());
  }
  // A three-shot game that ended with the nine-ball: its replay loop runs.
  void StartGameLoop() {
    Rack();
    StraightShot(300.0);
    StraightShot(200.0);
    NineBallShot();
  }
  bool InPause(std::int32_t pos, const char* text) const {
    return platform_->NestingDepth() > 0 && !Running() && f.HistoryPos == pos && Panel() == text;
  }
  void Key(std::uint16_t key) { f.FormKeyDown(key, 0); }
  // Acts once, the first time `when` holds at a sample.
  void Once(std::function<bool()> when, std::function<void()> act) {
    onState = [this, when, act, done = false]() mutable {
      if (!done && when()) {
        done = true;
        actedAt = platform_->Now();
        act();
      }
    };
  }
  std::int64_t actedAt = -1;
};

TEST_F(ReplayExit, BackspaceInAReplayedShot) {
  StartReplayOfTwo();
  Play("wait 200\nkey 8\n");
  EXPECT_FALSE(Running());
  EXPECT_EQ(std::make_tuple(f.HistoryPos, f.HistoryLast), std::make_tuple(0, 2));
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(SameBall(f.Balls[i], Entry(1).Balls[i]));
  Play("wait 5000\n");
  EXPECT_FALSE(Running());  // nothing carries on by itself
  EXPECT_EQ(Panel(), msg::kUndone);
}

TEST_F(ReplayExit, BackspaceInAChainedPauseAbandonsTheReplay) {
  StartReplayOfTwo();
  Once([&] { return InPause(1, msg::kUndone); }, [&] { Key(vk::kBack); });
  Sample(20000);
  ASSERT_GT(actedAt, 0);
  EXPECT_EQ(std::make_tuple(f.HistoryPos, f.HistoryLast), std::make_tuple(0, 2));
  EXPECT_FALSE(Running());
  // The start of the shot just finished is back.
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(SameBall(f.Balls[i], Entry(1).Balls[i]));
}

TEST_F(ReplayExit, BackspaceIsIgnoredInThePauseBeforeTheReplayedBreak) {
  StartGameLoop();
  Once([&] { return InPause(0, msg::kUndone); }, [&] { Key(vk::kBack); });
  Sample(20000);
  ASSERT_GT(actedAt, 0);
  const std::vector<Row> trace = Trace();
  const Row breakReplayed{1, 3, msg::kStrike, true};
  EXPECT_NE(std::find(trace.begin(), trace.end(), breakReplayed), trace.end());
}

TEST_F(ReplayExit, HomeInAChainedPauseRacksAtOnce) {
  StartReplayOfTwo();
  Once([&] { return InPause(1, msg::kUndone); }, [&] { Key(vk::kHome); });
  Sample(10000);
  ASSERT_GT(actedAt, 0);
  EXPECT_EQ(std::make_tuple(f.HistoryPos, f.HistoryLast), std::make_tuple(0, 0));
  EXPECT_FALSE(Running());
  EXPECT_EQ(Panel(), msg::kAiming);
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(f.Balls[i].OnTable);
  // The rack's first tick came 40 ms after Home, not after the pause.
  for (const Seen& s : seen) {
    if (s.t > actedAt + 40 && s.t < actedAt + 1000) {
      EXPECT_EQ(s.panel, msg::kAiming) << s.t;
    }
  }
}

TEST_F(ReplayExit, HomeInThePauseBeforeTheReplayedBreakLetsThePauseRunOut) {
  StartGameLoop();
  Once([&] { return InPause(0, msg::kUndone); }, [&] { Key(vk::kHome); });
  Sample(20000);
  ASSERT_GT(actedAt, 0);
  EXPECT_EQ(std::make_tuple(f.HistoryPos, f.HistoryLast), std::make_tuple(0, 0));
  EXPECT_FALSE(Running());
  EXPECT_EQ(Panel(), msg::kAiming);
  // The new rack's tick was handled inside the pause, which went on to its
  // end and found nothing to replay.
  bool judgedInsidePause = false;
  for (const Seen& s : seen) {
    if (s.t > actedAt + 40 && s.panel == msg::kAiming && !s.running) judgedInsidePause = true;
    EXPECT_FALSE(s.running && s.t > actedAt + 40) << s.t;
  }
  EXPECT_TRUE(judgedInsidePause);
  for (int i = 1; i <= 9; ++i) EXPECT_TRUE(f.Balls[i].OnTable);
}

TEST_F(ReplayExit, MouseChangeInAChainedPauseStopsTheReplayAfterIt) {
  StartReplayOfTwo();
  Once([&] { return InPause(1, msg::kUndone); }, [&] { f.FormMouseMove(ssLeft, 700, 100); });
  Sample(20000);
  ASSERT_GT(actedAt, 0);
  EXPECT_EQ(std::make_tuple(f.HistoryPos, f.HistoryLast), std::make_tuple(1, 1));
  EXPECT_FALSE(Running());
  EXPECT_EQ(Panel(), msg::kAiming);
  EXPECT_EQ(f.AimX, 700.0 - f.Balls[0].X);
}

TEST_F(ReplayExit, MouseChangeInTheFinalPauseStillRestartsTheGame) {
  StartGameLoop();
  Once([&] { return InPause(3, msg::kNineBall); }, [&] { f.FormMouseMove(ssLeft, 700, 100); });
  Sample(12000);
  ASSERT_GT(actedAt, 0);
  const std::vector<Row> trace = Trace();
  const Row restarted{0, 3, msg::kUndone, false};
  EXPECT_NE(std::find(trace.begin(), trace.end(), restarted), trace.end());
}

TEST_F(ReplayExit, EnterInAPauseFiresTheShotAndTheReplayGoesOn) {
  StartReplayOfTwo();
  Once([&] { return InPause(1, msg::kUndone); }, [&] { Key(vk::kReturn); });
  Sample(30000);
  ASSERT_GT(actedAt, 0);
  EXPECT_EQ(std::make_tuple(f.HistoryPos, f.HistoryLast), std::make_tuple(2, 2));
  EXPECT_FALSE(Running());
  EXPECT_EQ(Panel(), msg::kAiming);
  // Shot 2 started at once, inside the pause.
  for (const Seen& s : seen) {
    if (s.t > actedAt && s.t < actedAt + 500) {
      EXPECT_TRUE(s.running) << s.t;
    }
  }
}

// --- Limits and details ---

class PauseClock : public ReplayExit {
 protected:
  // The length of the chained pause when, 100 ms into it, the clock jumps.
  std::int64_t PauseWithJump(std::uint32_t jump) {
    StartReplayOfTwo();
    std::int64_t begin = -1, end = -1;
    onState = [&, jumped = false]() mutable {
      const bool in = InPause(1, msg::kUndone);
      if (in && begin < 0) begin = platform_->Now();
      if (in) end = platform_->Now();
      if (in && !jumped && platform_->Now() >= begin + 100) {
        jumped = true;
        platform_->SetClock(platform_->ClockReading() + jump);
      }
    };
    Sample(20000, 1);
    return end - begin;
  }
};

// Sampled every millisecond, a pause of 2000 ms is seen from 1 ms after it
// began to 1 ms before it ended.
TEST_F(PauseClock, TwoSecondsWithoutAJump) { EXPECT_EQ(PauseWithJump(0), 1998); }

TEST_F(PauseClock, ElapsedTimeIsTakenModulo65536) {
  // Held up for 65.536 + 0.5 s: the pause reads 0.5 s more and waits on.
  EXPECT_EQ(PauseWithJump(65536 + 500), 1498);
}

TEST_F(PauseClock, ALongerHoldUpEndsThePause) { EXPECT_EQ(PauseWithJump(70000), 100); }

TEST_F(PauseClock, AClockWrapDoesNoHarm) {
  Play("clock 4294967000\n");  // wraps 296 ms from now, inside the game below
  EXPECT_EQ(PauseWithJump(0), 1998);
}

// The per-shot flags are no part of a shot start: an undo keeps whatever
// they were.
TEST_F(History, UndoLeavesThePerShotFlagsAlone) {
  Rack();
  Play("key 13\nwait 80\n");
  f.FirstContactSeen = true;
  f.LegalFirstHit = true;
  f.CushionHit = false;
  Play("key 8\n");
  EXPECT_TRUE(f.FirstContactSeen);
  EXPECT_TRUE(f.LegalFirstHit);
  EXPECT_FALSE(f.CushionHit);
}

}  // namespace
}  // namespace tavoren::testing
