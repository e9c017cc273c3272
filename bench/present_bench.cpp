// The cost of presenting one frame on the SDL layer: the framebuffer's rows
// copied into the window surface and pushed to the display, as the layer
// does after every handler that painted. Needs a display, e.g.
//   xvfb-run -s '-screen 0 1280x1024x24' build/bench/tavoren_present_bench
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "app/form.h"
#include "game/state.h"
#include "platform/sdl/present.h"
#include "render/painters.h"

namespace {

using namespace tavoren;

struct Window {
  SDL_Window* window = nullptr;
  Window() {
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return;
    // SDL falls back to drivers that show nothing; those measure nothing real.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || SDL_strcmp(driver, "offscreen") == 0 ||
        SDL_strcmp(driver, "dummy") == 0) {
      return;
    }
    window = SDL_CreateWindow("present", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                              kClientWidth, kClientHeight, SDL_WINDOW_SHOWN);
  }
  ~Window() {
    if (window != nullptr) SDL_DestroyWindow(window);
    SDL_Quit();
  }
};

// A table as a tick left it when every tick repainted the whole cloth: the
// rack painted, rows 40 to 440 presented.
void BM_PresentTick(benchmark::State& state, int top, int bottom) {
  static Window w;
  SDL_Surface* surface = w.window != nullptr ? SDL_GetWindowSurface(w.window) : nullptr;
  if (surface == nullptr) {
    state.SkipWithError("no display to present on");
    return;
  }
  auto fb = std::make_unique<Framebuffer>();
  auto s = std::make_unique<TGameState>();
  for (int i = 0; i < 10; ++i) {
    s->Balls[i].OnTable = true;
    s->Balls[i].Color = colors::kBall[i];
    s->Balls[i].X = 640.0 + kRackLayout[i].X;
    s->Balls[i].Y = 240.0 + kRackLayout[i].Y;
  }
  PaintCloth(*fb, *s);
  PaintRails(*fb);
  PaintPanel(*fb, *s, false);
  const SDL_Rect rect{0, top, kClientWidth, bottom - top};
  for (auto _ : state) {
    sdl::CopyRect(fb->Pixels(), surface, rect);
    SDL_UpdateWindowSurfaceRects(w.window, &rect, 1);
  }
}

// A platform with nothing behind it, for a form that plays a break: the
// timer and the panel only remember what they were set to.
class QuietPlatform final : public Platform {
 public:
  void SetCycleTimer(bool enabled) override { timer_ = enabled; }
  bool CycleTimerEnabled() const override { return timer_; }
  std::uint32_t Milliseconds() override { return 4242; }
  void SetPanelText(const char* utf8) override { panel_ = utf8; }
  const char* PanelText() const override { return panel_; }
  void CloseWindow() override {}
  void ProcessMessages() override {}

 private:
  bool timer_ = false;
  const char* panel_ = "";
};

bool Moving(const TGameState& s) {
  for (const TBall& b : s.Balls) {
    if (b.OnTable &&
        (b.VX != 0.0 || b.VY != 0.0 || b.RollX != 0.0 || b.RollY != 0.0 || b.SideSpin != 0.0)) {
      return true;
    }
  }
  return false;
}

// The ticks of a break until the table rests, as the layer presents them:
// each tick's damage copied and pushed run by run, the columns written on a
// run's rows only. Presenting costs the
// same whatever the pixels, so every tick's rows come from the last picture.
void BM_PresentBreakTicks(benchmark::State& state) {
  static Window w;
  SDL_Surface* surface = w.window != nullptr ? SDL_GetWindowSurface(w.window) : nullptr;
  if (surface == nullptr) {
    state.SkipWithError("no display to present on");
    return;
  }
  QuietPlatform platform;
  auto form = std::make_unique<TForm1>(platform);
  form->FormShow();
  form->TimerForCycleTimer();
  std::uint16_t enter = vk::kReturn;
  form->FormKeyDown(enter, 0);
  form->Canvas.TakeDamage();
  std::vector<Framebuffer::Damage> ticks;
  long rows = 0;
  do {
    form->TimerForCycleTimer();
    ticks.push_back(form->Canvas.TakeDamage());
    ticks.back().ForEachRun([&](int top, int bottom, int, int) { rows += bottom - top; });
  } while (Moving(*form) && ticks.size() < 1000);
  std::size_t i = 0;
  for (auto _ : state) {
    SDL_Rect rects[kPanelTop / 2 + 1];
    int count = 0;
    ticks[i].ForEachRun([&](int top, int bottom, int left, int right) {
      const SDL_Rect rect{left, top, right + 1 - left, bottom - top};
      sdl::CopyRect(form->Canvas.Pixels(), surface, rect);
      rects[count++] = rect;
    });
    if (count > 0) SDL_UpdateWindowSurfaceRects(w.window, rects, count);
    i = (i + 1) % ticks.size();
  }
  state.counters["ticks"] = static_cast<double>(ticks.size());
  state.counters["rows_per_tick"] = static_cast<double>(rows) / static_cast<double>(ticks.size());
}

void BM_PresentTickRows(benchmark::State& state) { BM_PresentTick(state, 40, 441); }
void BM_PresentWholeTable(benchmark::State& state) { BM_PresentTick(state, 0, kPanelTop); }

BENCHMARK(BM_PresentBreakTicks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PresentTickRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PresentWholeTable)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
