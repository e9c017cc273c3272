// What the layers that keep their own event loop (SDL2, web) share: the
// form they run, the cycle timer as a schedule on their monotonic clock, the
// panel text waiting to be shown, the repaint the window system asked for,
// what is to be presented, and the closed window. A layer supplies its
// clock and its Present, which puts on screen what the handlers painted;
// every handler runs through RunHandler, so nothing a handler painted waits
// for the next event.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "app/form.h"
#include "platform/cycle_schedule.h"
#include "platform/platform.h"

namespace tavoren {

class LoopPlatform : public Platform {
 public:
  LoopPlatform(const LoopPlatform&) = delete;
  LoopPlatform& operator=(const LoopPlatform&) = delete;

  void SetCycleTimer(bool enabled) final {
    if (enabled) {
      timer_.Enable(MonotonicNs());
    } else {
      timer_.Disable();
    }
  }

  bool CycleTimerEnabled() const final { return timer_.Enabled(); }

  void SetPanelText(const char* utf8) final {
    if (utf8 == nullptr) utf8 = "";
    if (std::strcmp(panelText_, utf8) == 0) return;
    panelText_ = utf8;
    panelChanged_ = true;
  }
  const char* PanelText() const final { return panelText_; }

  // No handler runs after this, and the timer stops; the layer then takes
  // its window away (WindowClosed). A replay pause still running lets its
  // time pass before the loop ends.
  void CloseWindow() final {
    if (closed_) return;
    closed_ = true;
    timer_.Disable();
    WindowClosed();
  }

 protected:
  LoopPlatform() : form_(std::make_unique<TForm1>(*this)) {}
  ~LoopPlatform() override = default;

  virtual std::int64_t MonotonicNs() = 0;
  // Puts what the handlers painted since the last call on screen, with the
  // panel text when it changed: the one place a layer presents.
  virtual void Present() = 0;
  virtual void WindowClosed() = 0;

  template <class Handler>
  void RunHandler(Handler&& handler) {
    handler();
    Present();
  }

  // The tick that is due: the next keeps the cadence (see CycleSchedule).
  void DeliverTick() {
    timer_.TakeTick(MonotonicNs());
    RunHandler([this] { form_->TimerForCycleTimer(); });
  }

  // The window system asked for a repaint (the window was shown again or
  // uncovered): it runs as FormPaint once nothing else is queued, and the
  // whole client area is presented after it.
  void RequestPaint() { paintPending_ = true; }
  bool PaintIfRequested() {
    if (!paintPending_) return false;
    paintPending_ = false;
    refreshAll_ = true;
    RunHandler([this] { form_->FormPaint(); });
    return true;
  }

  // The screen no longer shows what was presented (a new window surface):
  // the next Present puts everything there again.
  void RefreshAll() { refreshAll_ = true; }

  // What Present puts on screen: the rows painted since the last call, or,
  // after a repaint or RefreshAll, the whole client area (whole says which).
  Framebuffer::Damage TakeDamage(bool& whole) {
    Framebuffer::Damage damage = form_->Canvas.TakeDamage();
    whole = refreshAll_;
    refreshAll_ = false;
    if (whole) damage = Framebuffer::Damage::All();
    return damage;
  }

  std::unique_ptr<TForm1> form_;
  CycleSchedule timer_;
  const char* panelText_ = "";  // a literal that lives for the whole run
  bool panelChanged_ = false;
  bool closed_ = false;

 private:
  bool paintPending_ = false;
  bool refreshAll_ = true;  // nothing has been presented yet
};

}  // namespace tavoren
