// The cost of presenting one frame on the SDL layer: the framebuffer's rows
// copied into the window surface and pushed to the display, as the layer
// does after every handler that painted. Needs a display, e.g.
//   xvfb-run -s '-screen 0 1280x1024x24' build/bench/tavoren_present_bench
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

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
    if (driver == nullptr || SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0) {
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

// A table as a tick leaves it: the rack painted, rows 40 to 440 changed.
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
    sdl::CopyRows(fb->Pixels(), surface, top, bottom, kClientWidth);
    SDL_UpdateWindowSurfaceRects(w.window, &rect, 1);
  }
}

void BM_PresentTickRows(benchmark::State& state) { BM_PresentTick(state, 40, 441); }
void BM_PresentWholeTable(benchmark::State& state) { BM_PresentTick(state, 0, kPanelTop); }

BENCHMARK(BM_PresentTickRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PresentWholeTable)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
