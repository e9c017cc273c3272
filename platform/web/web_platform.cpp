#include "platform/web/web_platform.h"

#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/loop_platform.h"
#include "platform/web/page_events.h"

// The page side (page.js, in TavorenPage). Events come as a kind and five
// numbers: a (key code or DOM button), modifier keys (page_events.h), DOM
// buttons held (1 left, 2 right, 4 middle), x, y. The bodies are JavaScript,
// which clang-format would lay out as C++ (and split its !==).
// clang-format off
EM_JS(void, TavorenPageAttach, (int longestPanelText), { TavorenPage.attach(longestPanelText); });
EM_JS(void, TavorenPageShow, (), { TavorenPage.show(); });
EM_JS(int, TavorenPageNextEvent, (int* out), { return TavorenPage.next(out); });
EM_ASYNC_JS(void, TavorenPageWait, (int ms), { await TavorenPage.wait(ms); });
EM_JS(void, TavorenPagePutRows, (const void* pixels, int top, int bottom),
      { TavorenPage.putRows(pixels, top, bottom); });
EM_JS(void, TavorenPageSetPanel, (const char* utf8), { TavorenPage.setPanel(UTF8ToString(utf8)); });
EM_JS(void, TavorenPageEnded, (), { TavorenPage.ended(); });
EM_JS(void, TavorenPageAtStake, (int atStake), { TavorenPage.atStake(atStake !== 0); });
EM_JS(double, TavorenPageDateNow, (), { return Date.now(); });
// clang-format on

namespace tavoren::web {

namespace {

// How long the replay pause may sleep in the browser when nothing happens:
// input wakes it at once, so this only bounds how late it reads the clock
// (a pause of two seconds ends at most this much late).
constexpr int kPauseWakeMs = 10;

// Rows of the first picture made ready in one task of the start.
constexpr int kStartRowsPerTask = 120;

TShiftState ShiftStateOf(int modifiers, int buttons) {
  TShiftState s = 0;
  if (modifiers & modifier::kShift) s |= ssShift;
  if (modifiers & modifier::kAlt) s |= ssAlt;
  if (modifiers & modifier::kCtrl) s |= ssCtrl;
  if (buttons & 1) s |= ssLeft;
  if (buttons & 2) s |= ssRight;
  if (buttons & 4) s |= ssMiddle;
  return s;
}

constexpr std::uint32_t kOpaque = 0xFF000000u;

// Whether a framebuffer row, made opaque, equals a row of canvas pixels;
// eight bytes at a time, since most rows of a tick come out unchanged.
bool SameRow(const TColor* framebuffer, const std::uint32_t* canvas) {
  static_assert(kClientWidth % 2 == 0 && sizeof(TColor) == 4);
  constexpr std::uint64_t opaque = (std::uint64_t{kOpaque} << 32) | kOpaque;
  for (int i = 0; i < kClientWidth; i += 2) {
    std::uint64_t a, b;
    std::memcpy(&a, framebuffer + i, sizeof a);
    std::memcpy(&b, canvas + i, sizeof b);
    if ((a | opaque) != b) return false;
  }
  return true;
}

class WebPlatform final : public LoopPlatform {
 public:
  // rgba_ starts unset (clearing 2 MB would cost the start a few
  // milliseconds): PresentFirstPicture sets every row of it.
  WebPlatform()
      : rgba_(new std::uint32_t[static_cast<std::size_t>(kClientWidth) * kPanelTop]),
        clockBase_(static_cast<std::uint32_t>(std::fmod(TavorenPageDateNow(), 4294967296.0))) {}

  void Run();

  // Platform
  std::uint32_t Milliseconds() override;
  void ProcessMessages() override;

 private:
  std::int64_t MonotonicNs() override {
    return static_cast<std::int64_t>(emscripten_get_now() * 1e6);
  }
  void Present() override;
  void WindowClosed() override;
  bool HandleInput();
  void PresentFirstPicture();
  void CopyRows(int top, int bottom);
  void PutRows(int top, int bottom);
  void SetAtStake(bool atStake);

  std::unique_ptr<std::uint32_t[]> rgba_;  // the rows being presented, as canvas RGBA
  std::uint32_t clockBase_;
  bool atStake_ = false;  // a shot has been played since the last rack
};

// The page's own loop: everything queued, a repaint the page asked for,
// then at most one due tick, and back to the browser after each round, so
// that a tick that takes long never shuts out input. Asleep (no timer, no
// animation frame) while the game waits for the player.
// Before it, the start, in short tasks (see RunGame): the page's part, then
// the rack and the paint a window gets when it is first shown, and their
// picture. The rack paints nothing itself, so nothing of it waits to be
// presented.
void WebPlatform::Run() {
  TavorenPageAttach(msg::LongestPanelText());
  TavorenPageWait(0);
  form_->FormShow();
  form_->FormPaint();
  PresentFirstPicture();
  while (!closed_) {
    bool handled = false;
    while (!closed_ && HandleInput()) handled = true;
    if (!closed_ && timer_.Due(MonotonicNs())) {
      DeliverTick();
      handled = true;
    }
    if (closed_) break;
    TavorenPageWait(handled ? 0 : timer_.WaitMs(MonotonicNs()));
  }
}

// Puts the whole first picture on the canvas, then what else there is to
// present (the panel text); the page shows the game only then. The rows are
// made opaque kStartRowsPerTask a task: the first time, that touches 2 MB of
// memory never used before.
void WebPlatform::PresentFirstPicture() {
  bool all = false;
  TakeDamage(all);  // every row is put here
  for (int top = 0; top < kPanelTop; top += kStartRowsPerTask) {
    CopyRows(top, std::min(top + kStartRowsPerTask, kPanelTop));
    TavorenPageWait(0);
  }
  TavorenPagePutRows(rgba_.get(), 0, kPanelTop);
  Present();
  TavorenPageShow();
}

// Handles one queued event, or the pending repaint; false when there was
// neither.
bool WebPlatform::HandleInput() {
  int e[5] = {};
  switch (TavorenPageNextEvent(e)) {
    case kNone: break;
    case kKey: {
      std::uint16_t key = static_cast<std::uint16_t>(e[0]);
      RunHandler([&] {
        if (key != 0) form_->FormKeyDown(key, ShiftStateOf(e[1], e[2]));
      });
      // Home racks anew (whatever the panel still says until the rack's
      // first tick): until the next shot, leaving the page loses nothing.
      if (key == vk::kHome && !closed_) SetAtStake(false);
      return true;
    }
    case kPointerDown: {
      TMouseButton button;
      switch (e[0]) {
        case 0: button = mbLeft; break;
        case 1: button = mbMiddle; break;
        case 2: button = mbRight; break;
        default: return true;  // back, forward, eraser: nothing on Windows either
      }
      RunHandler([&] { form_->FormMouseDown(button, ShiftStateOf(e[1], e[2]), e[3], e[4]); });
      return true;
    }
    case kPointerMove:
      RunHandler([&] { form_->FormMouseMove(ShiftStateOf(e[1], e[2]), e[3], e[4]); });
      return true;
    case kVisible: RequestPaint(); return true;
    default: return true;
  }
  return PaintIfRequested();
}

// The replay pause calls this in a loop until its two seconds are up: it
// handles everything queued and every due tick, then gives the browser the
// thread until input arrives or a few milliseconds have passed. The handlers
// it calls run nested, on this stack; Asyncify saves and restores the whole
// stack around the wait.
void WebPlatform::ProcessMessages() {
  Present();
  if (!closed_) {
    for (;;) {
      if (HandleInput()) continue;
      if (!closed_ && timer_.Due(MonotonicNs())) {
        DeliverTick();
        continue;
      }
      break;
    }
  }
  int wait = closed_ ? -1 : timer_.WaitMs(MonotonicNs());
  if (wait < 0 || wait > kPauseWakeMs) wait = kPauseWakeMs;
  TavorenPageWait(wait);
}

// Milliseconds counted from a start that is the date at load, so that every
// load racks differently; the count itself follows the monotonic clock and
// does not jump when the date is set.
std::uint32_t WebPlatform::Milliseconds() {
  return clockBase_ + static_cast<std::uint32_t>(static_cast<std::uint64_t>(emscripten_get_now()));
}

// A tab cannot close itself: the game stops (timer off, no handler runs
// again, the page's listeners are gone) and the page says so.
void WebPlatform::WindowClosed() {
  Present();
  TavorenPageEnded();
}

// Copies the rows painted since the last call to the canvas, and the panel
// text when it changed. The framebuffer's 0x00BBGGRR is, byte by byte, the
// canvas's R, G, B; only the alpha byte is added. A painted row can come out
// as the canvas already shows it (a ball painted again where it was): such
// rows are left alone, and each run of changed rows goes to the canvas in
// one piece.
void WebPlatform::Present() {
  bool all = false;
  const Framebuffer::Damage damage = TakeDamage(all);
  const TColor* src = form_->Canvas.Pixels();
  const std::uint32_t* rgba = rgba_.get();
  damage.ForEachRun([&](int top, int bottom, int, int) {
    int runTop = -1;
    for (int row = top; row < bottom; ++row) {
      const std::size_t begin = static_cast<std::size_t>(row) * kClientWidth;
      const bool changed = all || !SameRow(src + begin, rgba + begin);
      if (changed) {
        if (runTop < 0) runTop = row;
      } else if (runTop >= 0) {
        PutRows(runTop, row);
        runTop = -1;
      }
    }
    if (runTop >= 0) PutRows(runTop, bottom);
  });
  if (panelChanged_) {
    panelChanged_ = false;
    TavorenPageSetPanel(panelText_);
    // The strike text shows from the moment a shot (or its replay) starts.
    if (std::strcmp(panelText_, msg::kStrike) == 0) SetAtStake(true);
  }
}

// Rows [top, bottom) of the framebuffer, made opaque, into rgba_.
void WebPlatform::CopyRows(int top, int bottom) {
  const TColor* src = form_->Canvas.Pixels();
  std::uint32_t* rgba = rgba_.get();
  const std::size_t end = static_cast<std::size_t>(bottom) * kClientWidth;
  for (std::size_t i = static_cast<std::size_t>(top) * kClientWidth; i < end; ++i)
    rgba[i] = src[i] | kOpaque;
}

// The same rows, then to the canvas.
void WebPlatform::PutRows(int top, int bottom) {
  CopyRows(top, bottom);
  TavorenPagePutRows(rgba_.get(), top, bottom);
}

// Tells the page whether leaving it would lose a game in progress: it asks
// before the tab leaves only while so.
void WebPlatform::SetAtStake(bool atStake) {
  if (atStake == atStake_) return;
  atStake_ = atStake;
  TavorenPageAtStake(atStake ? 1 : 0);
}

}  // namespace

// The start comes in short tasks, the thread going back to the browser
// between them, so that none holds up a phone's first touch for long: the
// runtime's own start after the compilation, then the form (which fills its
// 2 MB framebuffer), then the rest of the start (WebPlatform::Run).
void RunGame() {
  TavorenPageWait(0);
  // The form holds the framebuffer (2 MB): it lives on the heap for the whole
  // run and is never destroyed, since the page outlives main().
  static WebPlatform* platform = new WebPlatform();
  TavorenPageWait(0);
  platform->Run();
}

}  // namespace tavoren::web
