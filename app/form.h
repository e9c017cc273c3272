// The main window: owner of every piece of game state and of the two
// components (message panel, cycle timer). Its handlers are the program's
// only entry points; a platform layer calls them as window events arrive.
#pragma once

#include <cstdint>

#include "game/state.h"
#include "platform/platform.h"
#include "render/framebuffer.h"

namespace tavoren {

// How long a replay waits before each recorded shot, and before it starts
// again from the break.
constexpr int kReplayPauseMs = 2000;

class TForm1 : public TGameState {
 public:
  // The message panel along the bottom of the window; the platform holds
  // its text.
  class TPanel {
   public:
    explicit TPanel(Platform& platform) : platform_(platform) {}
    const char* Caption() const { return platform_.PanelText(); }
    void SetCaption(const char* text) { platform_.SetPanelText(text); }

   private:
    Platform& platform_;
  };

  // The 40 ms cycle timer, run by the platform. Whether it is enabled is the
  // program's mode: enabled = running (balls move, a rack awaits its first
  // tick, or a foul waits), disabled = aiming.
  class TTimer {
   public:
    explicit TTimer(Platform& platform) : platform_(platform) {}
    bool Enabled() const { return platform_.CycleTimerEnabled(); }
    void SetEnabled(bool enabled) { platform_.SetCycleTimer(enabled); }

   private:
    Platform& platform_;
  };

  // A new window: every state field zero, no ball on the table, timer
  // disabled, panel empty.
  explicit TForm1(Platform& platform);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // --- Event handlers, called by the platform layer. ---
  void FormShow();  // first show of the window, and Home: a new rack
  void FormClose();
  void FormPaint();
  void FormKeyDown(std::uint16_t& Key, TShiftState Shift);
  void FormMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  void FormMouseMove(TShiftState Shift, int X, int Y);
  void TimerForCycleTimer();

  // Closes the window as Esc, the close box and the system menu do.
  void Close();

  // --- Methods the handlers share. ---
  void StepPhysics();
  bool CheckShotEnd();
  void PaintCloth();
  void PaintRails();
  void PaintAimGuide();
  void PaintPanel();

  TPanel PanelForMsg;
  TTimer TimerForCycle;
  Framebuffer Canvas;

  // The random generator of the rack jitter: one 32-bit state, reseeded from
  // the system clock at every rack.
  std::uint32_t RandSeed = 0;

 private:
  double NextRandom();
  bool CanStrike() const;
  void RecordShotStart();
  void Strike();
  void Undo();
  void ReplayChaining();
  void PressKey(std::uint16_t key);

  Platform& platform_;
};

}  // namespace tavoren
