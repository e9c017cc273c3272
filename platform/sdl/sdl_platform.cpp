#include "platform/sdl/sdl_platform.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "platform/loop_platform.h"
#include "platform/sdl/keys.h"
#include "platform/sdl/panel_font.h"
#include "platform/sdl/present.h"
#include "platform/sdl/window_icon.h"

#ifdef TAVOREN_SDL_X11
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <poll.h>
#endif

namespace tavoren::sdl {

namespace {

// Milliseconds since the system started (suspended time included where the
// system counts it), wrapping at 2^32.
std::uint32_t UptimeMs() {
  timespec ts{};
#ifdef CLOCK_BOOTTIME
  if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0)
#endif
  {
    clock_gettime(CLOCK_MONOTONIC, &ts);
  }
  const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(ts.tv_nsec) / 1'000'000u;
  return static_cast<std::uint32_t>(ms);
}

// The game's icon on the window. Without it the game still runs.
void SetWindowIcon(SDL_Window* window) {
  SDL_Surface* icon =
      SDL_LoadBMP_RW(SDL_RWFromConstMem(kWindowIconBmp, static_cast<int>(kWindowIconBmpSize)), 1);
  if (icon == nullptr) return;
  SDL_SetWindowIcon(window, icon);
  SDL_FreeSurface(icon);
}

#ifdef TAVOREN_SDL_X11
// The title in WM_NAME as window managers that read only that property
// expect it: STRING (Latin-1) or, for the katakana, COMPOUND_TEXT. SDL writes
// the UTF-8 bytes there as text of the C locale, which those show garbled;
// its _NET_WM_NAME, in UTF-8, stays as it is.
void SetLegacyWindowName(Display* display, Window window, const char* utf8) {
  char* list[] = {const_cast<char*>(utf8)};
  XTextProperty name{};
  if (Xutf8TextListToTextProperty(display, list, 1, XStdICCTextStyle, &name) != Success) return;
  XSetWMName(display, window, &name);
  XFree(name.value);
}
#endif

// The bit of a button in SDL's button mask; none for a button number that
// does not fit in it.
Uint32 ButtonBit(Uint8 button) {
  return button >= 1 && button <= 32 ? Uint32{1} << (button - 1) : 0;
}

class SdlPlatform final : public LoopPlatform {
 public:
  SdlPlatform() { panelChanged_ = true; }  // the panel starts blank, in the button face
  ~SdlPlatform() override;

  int Run();

  // Platform
  std::uint32_t Milliseconds() override { return UptimeMs(); }
  void ProcessMessages() override;

 private:
  std::int64_t MonotonicNs() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void Present() override;
  void WindowClosed() override;
  bool Open();
  void OpenPanelFont();
  bool HandleOnePending();
  bool WaitEvent(SDL_Event& ev, int timeoutMs);
  void Dispatch(const SDL_Event& ev);
  void DispatchWindowEvent(const SDL_WindowEvent& ev);
  void RenderPanel();
  void CloseFromWindowSystem();

  bool sdlStarted_ = false;
  bool ttfStarted_ = false;
  SDL_Window* window_ = nullptr;
  SDL_Surface* surface_ = nullptr;  // the window surface last presented to
  TTF_Font* font_ = nullptr;
  SDL_Surface* panel_ = nullptr;  // the rendered message panel

#ifdef TAVOREN_SDL_X11
  Display* xDisplay_ = nullptr;  // SDL's X connection, when the driver is X11
#endif

  Uint32 buttons_ = 0;  // mouse buttons held, as an SDL button mask
  bool shown_ = false;  // the first show has been handled
  bool panelOnScreen_ = false;
};

SdlPlatform::~SdlPlatform() {
  form_.reset();
  if (font_ != nullptr) TTF_CloseFont(font_);
  if (ttfStarted_) TTF_Quit();
  if (panel_ != nullptr) SDL_FreeSurface(panel_);
  if (window_ != nullptr) SDL_DestroyWindow(window_);
  if (sdlStarted_) SDL_Quit();
}

bool SdlPlatform::Open() {
  // A practice table is no reason to keep the screen saver away, and a
  // window manager's compositor may stay on.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  // Keep mouse events coming while a button is held, also outside the window.
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "tavoren: cannot open the display: %s\n", SDL_GetError());
    return false;
  }
  sdlStarted_ = true;
  // With no display at all SDL falls back to drivers that show nothing; the
  // game would then run invisibly until killed. Only on explicit request.
  const char* driver = SDL_GetCurrentVideoDriver();
  const char* requested = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  if (driver == nullptr ||
      ((requested == nullptr || *requested == '\0') &&
       (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
        std::strcmp(driver, "evdev") == 0))) {
    std::fprintf(stderr, "tavoren: no display to open the window on\n");
    return false;
  }
  // On X11 the window surface is cheapest as a shared-memory image of its
  // own; SDL would otherwise put a GPU texture (or its software emulation)
  // behind it.
  if (std::strcmp(driver, "x11") == 0) {
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  }
  window_ = SDL_CreateWindow(msg::kTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                             kClientWidth, kClientHeight, SDL_WINDOW_HIDDEN);
  if (window_ == nullptr) {
    std::fprintf(stderr, "tavoren: cannot create the window: %s\n", SDL_GetError());
    return false;
  }
  SDL_StopTextInput();  // keys only; no input method
  SetWindowIcon(window_);
#ifdef TAVOREN_SDL_X11
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(window_, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11) {
    xDisplay_ = info.info.x11.display;
    SetLegacyWindowName(xDisplay_, info.info.x11.window, msg::kTitle);
  }
#endif
  if (SDL_GetWindowSurface(window_) == nullptr) {
    std::fprintf(stderr, "tavoren: cannot draw on the window: %s\n", SDL_GetError());
    return false;
  }
  panel_ =
      SDL_CreateRGBSurfaceWithFormat(0, kClientWidth, kPanelHeight, 32, SDL_PIXELFORMAT_XRGB8888);
  if (panel_ == nullptr) {
    std::fprintf(stderr, "tavoren: out of memory: %s\n", SDL_GetError());
    return false;
  }
  OpenPanelFont();
  SDL_ShowWindow(window_);
  return true;
}

// Without a usable font the game still runs; the panel then stays blank,
// and we say so once.
void SdlPlatform::OpenPanelFont() {
  const FontFile file = FindPanelFont();
  if (file.path.empty()) {
    std::fprintf(stderr, "tavoren: no font found for the message panel; messages will not show\n");
    return;
  }
  if (TTF_Init() != 0) {
    std::fprintf(stderr, "tavoren: cannot start the font renderer: %s\n", TTF_GetError());
    return;
  }
  ttfStarted_ = true;
  // At SDL_ttf's 72 dpi a point is a pixel.
  font_ = TTF_OpenFontIndex(file.path.c_str(), kPanelFontPixels, file.index);
  if (font_ == nullptr) {
    std::fprintf(stderr, "tavoren: cannot open font %s: %s\n", file.path.c_str(), TTF_GetError());
    return;
  }
  if (!file.coversMessages) {
    std::fprintf(stderr,
                 "tavoren: no installed font covers the Japanese messages; using %s (%s). "
                 "Installing a Japanese gothic font (e.g. IPAGothic) fixes this.\n",
                 file.family.c_str(), file.path.c_str());
  }
}

int SdlPlatform::Run() {
  if (!Open()) return 1;
  while (!closed_) {
    // Handlers present what they paint; this is for the window system's
    // own requests (a new surface after a size change).
    Present();
    if (HandleOnePending()) continue;
    // Nothing to do: sleep in the event wait until an event arrives or, while
    // the timer runs, until the next tick is due.
    const int wait = timer_.WaitMs(MonotonicNs());
    if (wait == 0) continue;
    SDL_Event ev;
    if (WaitEvent(ev, wait)) {
      Dispatch(ev);
    } else if (wait < 0) {
      SDL_Delay(10);  // the wait failed; don't spin on it
    }
  }
  return 0;
}

// Sleeps until an event arrives (returned in ev) or timeoutMs have passed
// (-1: no limit). On X11 this waits on the X connection itself rather than
// in SDL_WaitEventTimeout, which wakes itself by sending the window a client
// message over a second connection for every event it takes in; one of those
// still in flight when the window is destroyed at exit comes back as an X
// error that ends the program with status 1.
bool SdlPlatform::WaitEvent(SDL_Event& ev, int timeoutMs) {
#ifdef TAVOREN_SDL_X11
  if (xDisplay_ != nullptr) {
    const std::int64_t deadline = timeoutMs < 0 ? 0 : MonotonicNs() + timeoutMs * 1'000'000LL;
    for (;;) {
      if (SDL_PollEvent(&ev) != 0) return true;
      // Events Xlib has already read, or that are waiting on the socket
      // (XPending also flushes what we sent): let SDL take them in first.
      if (XPending(xDisplay_) > 0) continue;
      int wait = -1;
      if (timeoutMs >= 0) {
        const std::int64_t rest = deadline - MonotonicNs();
        if (rest <= 0) return false;
        wait = static_cast<int>((rest + 999'999) / 1'000'000);
      }
      pollfd fd{ConnectionNumber(xDisplay_), POLLIN, 0};
      const int ready = poll(&fd, 1, wait);
      if (ready < 0 && errno != EINTR) return false;
      // A signal (SDL turns SIGINT and SIGTERM into a quit event) or
      // something to read: go round and let SDL pump.
    }
  }
#endif
  return timeoutMs < 0 ? SDL_WaitEvent(&ev) != 0 : SDL_WaitEventTimeout(&ev, timeoutMs) != 0;
}

// Handles one pending thing, in the order a Windows message queue would:
// input and window events first, then a pending repaint, then a due tick.
bool SdlPlatform::HandleOnePending() {
  SDL_Event ev;
  if (SDL_PollEvent(&ev) != 0) {
    Dispatch(ev);
    return true;
  }
  if (shown_ && PaintIfRequested()) return true;
  if (timer_.Due(MonotonicNs())) {
    DeliverTick();
    return true;
  }
  return false;
}

void SdlPlatform::ProcessMessages() {
  Present();
  if (closed_) {
    // The window is gone; whoever is still waiting just lets time pass.
    SDL_Delay(1);
    return;
  }
  bool handled = false;
  while (!closed_ && HandleOnePending()) handled = true;
  if (handled || closed_) return;
  // Nothing was pending: wait a moment for the next event so that a caller
  // polling in a loop does not keep a core busy.
  int wait = timer_.WaitMs(MonotonicNs());
  if (wait < 0 || wait > 1) wait = 1;
  SDL_Event ev;
  if (wait > 0 && WaitEvent(ev, wait)) Dispatch(ev);
}

void SdlPlatform::Dispatch(const SDL_Event& ev) {
  switch (ev.type) {
    case SDL_QUIT: CloseFromWindowSystem(); return;
    case SDL_WINDOWEVENT: DispatchWindowEvent(ev.window); return;
    default: break;
  }
  if (!shown_ || closed_) return;
  switch (ev.type) {
    case SDL_KEYDOWN: {
      std::uint16_t key = VirtualKeyCode(ev.key.keysym);
      if (key == 0) return;
      RunHandler([&] { form_->FormKeyDown(key, ShiftStateOf(ev.key.keysym.mod, buttons_)); });
      return;
    }
    case SDL_MOUSEBUTTONDOWN: {
      buttons_ |= ButtonBit(ev.button.button);
      TMouseButton button = mbLeft;
      switch (ev.button.button) {
        case SDL_BUTTON_LEFT: button = mbLeft; break;
        case SDL_BUTTON_RIGHT: button = mbRight; break;
        case SDL_BUTTON_MIDDLE: button = mbMiddle; break;
        default: return;
      }
      RunHandler([&] {
        form_->FormMouseDown(button, ShiftStateOf(SDL_GetModState(), buttons_), ev.button.x,
                             ev.button.y);
      });
      return;
    }
    case SDL_MOUSEBUTTONUP: buttons_ &= ~ButtonBit(ev.button.button); return;
    case SDL_MOUSEMOTION: {
      buttons_ = ev.motion.state;
      // Like the window system's mouse-move message, a move that a later
      // one with the same buttons already supersedes is dropped.
      SDL_Event next;
      if (SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
          next.type == SDL_MOUSEMOTION && next.motion.state == ev.motion.state) {
        return;
      }
      RunHandler([&] {
        form_->FormMouseMove(ShiftStateOf(SDL_GetModState(), ev.motion.state), ev.motion.x,
                             ev.motion.y);
      });
      return;
    }
    default: return;
  }
}

void SdlPlatform::DispatchWindowEvent(const SDL_WindowEvent& ev) {
  switch (ev.event) {
    case SDL_WINDOWEVENT_SHOWN:
      // Only the first show racks a game; showing again after a minimise
      // just repaints.
      if (!shown_ && !closed_) {
        shown_ = true;
        RunHandler([this] { form_->FormShow(); });
      }
      RequestPaint();
      return;
    case SDL_WINDOWEVENT_EXPOSED: RequestPaint(); return;
    case SDL_WINDOWEVENT_SIZE_CHANGED: RefreshAll(); return;
    case SDL_WINDOWEVENT_CLOSE: CloseFromWindowSystem(); return;
    default: return;
  }
}

void SdlPlatform::CloseFromWindowSystem() {
  if (closed_) return;
  form_->Close();
}

// The window goes at once, even when a replay pause still runs out its two
// seconds before the program ends.
void SdlPlatform::WindowClosed() {
  if (window_ != nullptr) SDL_HideWindow(window_);
}

void SdlPlatform::RenderPanel() {
  const TColor face = colors::kButtonFace;
  SDL_FillRect(panel_, nullptr,
               SDL_MapRGB(panel_->format, face & 0xFF, (face >> 8) & 0xFF, (face >> 16) & 0xFF));
  if (font_ == nullptr || *panelText_ == '\0') return;
  SDL_Surface* text = TTF_RenderUTF8_Blended(font_, panelText_, SDL_Color{0, 0, 0, 255});
  if (text == nullptr) return;
  // Left-justified inside the border, the line centred on the panel's
  // height; whatever does not fit is cut off at the border.
  SDL_Rect clip{kPanelBorder, 0, kClientWidth - 2 * kPanelBorder, kPanelHeight};
  SDL_SetClipRect(panel_, &clip);
  SDL_Rect at{kPanelBorder, (kPanelHeight - TTF_FontHeight(font_)) / 2, text->w, text->h};
  SDL_BlitSurface(text, nullptr, panel_, &at);
  SDL_SetClipRect(panel_, nullptr);
  SDL_FreeSurface(text);
}

// Pushes to the screen what the handlers painted since the last call: the
// damaged framebuffer rows and, when it changed, the message panel.
void SdlPlatform::Present() {
  if (closed_ || !shown_ || window_ == nullptr) return;
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (surface == nullptr) {
    RefreshAll();  // try again, in full, next time
    return;
  }
  if (surface != surface_) {
    surface_ = surface;
    RefreshAll();
  }
  bool whole = false;
  const Framebuffer::Damage damage = TakeDamage(whole);
  if (whole) panelOnScreen_ = false;
  if (panelChanged_) {
    RenderPanel();
    panelChanged_ = false;
    panelOnScreen_ = false;
  }
  // One rectangle per run of damaged rows, over the columns written on them
  // (a run and a row between runs at least, so at most half the rows), and
  // the panel.
  SDL_Rect rects[kPanelTop / 2 + 2];
  int count = 0;
  const int width = std::min(kClientWidth, surface->w);
  damage.ForEachRun([&](int top, int bottom, int left, int right) {
    bottom = std::min(bottom, surface->h);
    right = std::min(right, width - 1);
    if (top >= bottom || left > right) return;
    const SDL_Rect rect{left, top, right + 1 - left, bottom - top};
    CopyRect(form_->Canvas.Pixels(), surface, rect);
    rects[count++] = rect;
  });
  if (!panelOnScreen_) {
    SDL_Rect at{0, kPanelTop, kClientWidth, kPanelHeight};
    if (SDL_BlitSurface(panel_, nullptr, surface, &at) == 0 && at.w > 0 && at.h > 0) {
      rects[count++] = at;
    }
    panelOnScreen_ = true;
  }
  if (count > 0) SDL_UpdateWindowSurfaceRects(window_, rects, count);
}

}  // namespace

int RunGame() {
  try {
    SdlPlatform platform;
    return platform.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tavoren: %s\n", e.what());
    return 1;
  }
}

}  // namespace tavoren::sdl
