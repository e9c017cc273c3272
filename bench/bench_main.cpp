// Benchmarks of the work the 40 ms cycle does and of whole shots.
//
// Targets on the reference machine (2 cores):
//   one tick's work (400 substeps + PaintCloth)   < 0.5 ms
//   a whole-window repaint (FormPaint)             < 1 ms
//   a break simulated to rest                      >= 1000 x real time
//
// Every table is set up through the form's own handlers from a rack made at
// a fixed clock reading, so the figures are reproducible run after run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "app/form.h"
#include "physics/physics.h"

namespace tavoren {
namespace {

constexpr std::uint32_t kRackClock = 4242;
constexpr double kSecondsPerSubstep = 0.040 / kSubstepsPerTick;

// A platform with nothing behind it: a clock that moves on by one
// millisecond per reading (so a replay pause would end by itself), a timer
// and a panel that only remember what they were set to, nothing to present.
class BenchPlatform final : public Platform {
 public:
  void SetCycleTimer(bool enabled) override { timer = enabled; }
  bool CycleTimerEnabled() const override { return timer; }
  std::uint32_t Milliseconds() override { return clock++; }
  void SetPanelText(const char* utf8) override { panel = utf8; }
  const char* PanelText() const override { return panel; }
  void CloseWindow() override {}
  void ProcessMessages() override {}

  bool timer = false;
  const char* panel = "";
  std::uint32_t clock = kRackClock;
};

// The form lives on the heap: it holds the history and the whole window.
struct Table {
  BenchPlatform platform;
  std::unique_ptr<TForm1> form = std::make_unique<TForm1>(platform);
};

bool AllAtRest(const TGameState& s) {
  for (const TBall& b : s.Balls) {
    if (b.OnTable &&
        (b.VX != 0.0 || b.VY != 0.0 || b.RollX != 0.0 || b.RollY != 0.0 || b.SideSpin != 0.0)) {
      return false;
    }
  }
  return true;
}

int MovingBalls(const TGameState& s) {
  int n = 0;
  for (const TBall& b : s.Balls) {
    if (b.OnTable && (b.VX != 0.0 || b.VY != 0.0)) ++n;
  }
  return n;
}

// A rack judged by its first tick: every ball at rest, aiming mode.
void RackAtRest(Table& t) {
  t.platform.clock = kRackClock;
  t.form->FormShow();
  t.form->TimerForCycleTimer();
}

// The break as the player fires it: the rack's first tick, then Enter.
void StrikeBreak(Table& t) {
  RackAtRest(t);
  std::uint16_t enter = vk::kReturn;
  t.form->FormKeyDown(enter, 0);
}

// The break a few ticks on, when the rack has burst and balls run in every
// direction.
constexpr int kTicksAfterBreak = 4;
void BreakSpreading(Table& t) {
  StrikeBreak(t);
  for (int i = 0; i < kTicksAfterBreak; ++i) t.form->TimerForCycleTimer();
}

// What a moving tick changes, saved so every iteration starts alike.
struct Motion {
  TBall balls[10];
  bool first, legal, cushion;
  void Save(const TForm1& f) {
    for (int i = 0; i < 10; ++i) balls[i] = f.Balls[i];
    first = f.FirstContactSeen;
    legal = f.LegalFirstHit;
    cushion = f.CushionHit;
  }
  void Restore(TForm1& f) const {
    for (int i = 0; i < 10; ++i) f.Balls[i] = balls[i];
    f.FirstContactSeen = first;
    f.LegalFirstHit = legal;
    f.CushionHit = cushion;
  }
};

void RunSubsteps(TForm1& f) {
  for (int i = 0; i < kSubstepsPerTick; ++i) f.StepPhysics();
}

// --- One tick's 400 substeps ---

void BM_TickSubsteps_AtRest(benchmark::State& state) {
  Table t;
  RackAtRest(t);
  for (auto _ : state) {
    RunSubsteps(*t.form);
    benchmark::DoNotOptimize(t.form->Balls);
  }
  state.counters["moving_balls"] = MovingBalls(*t.form);
}
BENCHMARK(BM_TickSubsteps_AtRest);

void BM_TickSubsteps_BreakMoving(benchmark::State& state) {
  Table t;
  BreakSpreading(t);
  Motion start;
  start.Save(*t.form);
  for (auto _ : state) {
    start.Restore(*t.form);
    RunSubsteps(*t.form);
    benchmark::DoNotOptimize(t.form->Balls);
  }
  state.counters["moving_balls"] = MovingBalls(*t.form);
}
BENCHMARK(BM_TickSubsteps_BreakMoving);

// --- Painting ---

void BM_PaintCloth(benchmark::State& state) {
  Table t;
  BreakSpreading(t);
  for (auto _ : state) {
    t.form->PaintCloth();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PaintCloth);

// The positions of the break's first ticks, painted one after another as the
// cycle paints them: what a tick's PaintCloth costs while balls move.
void BM_PaintCloth_Moving(benchmark::State& state) {
  constexpr int kTicks = 50;
  Table t;
  StrikeBreak(t);
  std::vector<Motion> ticks(kTicks);
  for (Motion& m : ticks) {
    RunSubsteps(*t.form);
    m.Save(*t.form);
  }
  std::size_t i = 0;
  for (auto _ : state) {
    ticks[i].Restore(*t.form);
    i = (i + 1) % ticks.size();
    t.form->PaintCloth();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PaintCloth_Moving);

void BM_FormPaint_Aiming(benchmark::State& state) {
  Table t;
  RackAtRest(t);  // aiming: cue line, guide line, spin disc and power bar
  for (auto _ : state) {
    t.form->FormPaint();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FormPaint_Aiming);

void BM_FormPaint_Running(benchmark::State& state) {
  Table t;
  BreakSpreading(t);
  for (auto _ : state) {
    t.form->FormPaint();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FormPaint_Running);

// --- A whole tick's work ---

// PaintCloth and the 400 substeps, as the cycle runs them while balls move.
void BM_TickWork_BreakMoving(benchmark::State& state) {
  Table t;
  BreakSpreading(t);
  Motion start;
  start.Save(*t.form);
  for (auto _ : state) {
    start.Restore(*t.form);
    t.form->PaintCloth();
    RunSubsteps(*t.form);
    benchmark::DoNotOptimize(t.form->Balls);
  }
}
BENCHMARK(BM_TickWork_BreakMoving);

// The timer handler itself: paint, substeps and the rest test.
void BM_TimerTick_BreakMoving(benchmark::State& state) {
  Table t;
  BreakSpreading(t);
  Motion start;
  start.Save(*t.form);
  for (auto _ : state) {
    start.Restore(*t.form);
    t.form->TimerForCycleTimer();
    benchmark::DoNotOptimize(t.form->Balls);
  }
  if (!t.form->TimerForCycle.Enabled()) state.SkipWithError("the break came to rest in one tick");
}
BENCHMARK(BM_TimerTick_BreakMoving);

// --- A whole break ---

// Reports the substeps simulated per second of wall time and how many times
// faster than real time (400 substeps = 40 ms) that is.
void ReportSimulated(benchmark::State& state, std::int64_t substepsPerShot) {
  const double total =
      static_cast<double>(substepsPerShot) * static_cast<double>(state.iterations());
  state.counters["substeps"] = static_cast<double>(substepsPerShot);
  state.counters["substeps_per_s"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
  state.counters["x_realtime"] =
      benchmark::Counter(total * kSecondsPerSubstep, benchmark::Counter::kIsRate);
}

// Physics only: from the strike until every ball rests, tested once per 400
// substeps as the cycle does.
void BM_BreakToRest_Physics(benchmark::State& state) {
  Table t;
  StrikeBreak(t);
  Motion start;
  start.Save(*t.form);
  std::int64_t substeps = 0;
  for (auto _ : state) {
    start.Restore(*t.form);
    substeps = 0;
    do {
      RunSubsteps(*t.form);
      substeps += kSubstepsPerTick;
    } while (!AllAtRest(*t.form));
    benchmark::DoNotOptimize(t.form->Balls);
  }
  ReportSimulated(state, substeps);
}
BENCHMARK(BM_BreakToRest_Physics)->Unit(benchmark::kMillisecond);

// The same break through the timer handler, painting every tick and judging
// the end as the game does.
void BM_BreakToRest_Ticks(benchmark::State& state) {
  Table t;
  StrikeBreak(t);
  Motion start;
  start.Save(*t.form);
  std::int64_t substeps = 0;
  for (auto _ : state) {
    start.Restore(*t.form);
    t.form->TimerForCycle.SetEnabled(true);
    substeps = 0;
    do {
      t.form->TimerForCycleTimer();
      substeps += kSubstepsPerTick;
    } while (!AllAtRest(*t.form));
    benchmark::DoNotOptimize(t.form->Balls);
  }
  ReportSimulated(state, substeps);
}
BENCHMARK(BM_BreakToRest_Ticks)->Unit(benchmark::kMillisecond);

// The physics of the ten breaks that bench/driver_speed.sh plays through the
// driver (racks of clock readings 4037, 4074, ...; at most 20 s of play
// each): the 400 substeps of as many ticks as the game runs until it aims
// again (a foul holds the table to the 500-tick cap), without the painting
// and the judging. What the driver's run costs at the least.
void BM_TenBreaks_Physics(benchmark::State& state) {
  constexpr int kMostTicks = 20'000 / 40;
  Table t;
  Motion breaks[10];
  int ticks[10];
  for (int i = 0; i < 10; ++i) {
    t.platform.clock = static_cast<std::uint32_t>(4000 + (i + 1) * 37);
    t.form->FormShow();
    t.form->TimerForCycleTimer();
    std::uint16_t enter = vk::kReturn;
    t.form->FormKeyDown(enter, 0);
    breaks[i].Save(*t.form);
    for (ticks[i] = 0; t.form->TimerForCycle.Enabled() && ticks[i] < kMostTicks; ++ticks[i]) {
      t.form->TimerForCycleTimer();
    }
  }
  std::int64_t substeps = 0;
  for (auto _ : state) {
    substeps = 0;
    for (int i = 0; i < 10; ++i) {
      breaks[i].Restore(*t.form);
      for (int tick = 0; tick < ticks[i]; ++tick) RunSubsteps(*t.form);
      substeps += std::int64_t{ticks[i]} * kSubstepsPerTick;
    }
    benchmark::DoNotOptimize(t.form->Balls);
  }
  ReportSimulated(state, substeps);
}
BENCHMARK(BM_TenBreaks_Physics)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavoren

BENCHMARK_MAIN();
