// What the core needs from the system it runs on. The form calls these; a
// platform layer (SDL2, Win32, web, headless) implements them and, in the
// other direction, feeds window events to the form's handlers and presents
// the form's framebuffer after every handler, from one place (RunHandler in
// the layers with a screen; the headless layer has none).
#pragma once

#include <cstdint>

namespace tavoren {

// The cycle timer's interval.
constexpr int kCycleIntervalMs = 40;

class Platform {
 public:
  virtual ~Platform() = default;

  // The cycle timer (kCycleIntervalMs). Enabling an enabled timer or disabling a disabled
  // one does nothing; a newly enabled timer ticks first 40 ms later. Ticks are
  // delivered as TimerForCycleTimer on the GUI thread, never to catch up.
  virtual void SetCycleTimer(bool enabled) = 0;
  // Whether the cycle timer runs: as SetCycleTimer last left it (a layer
  // whose window is closing may refuse to start it).
  virtual bool CycleTimerEnabled() const = 0;

  // Milliseconds since the system started, wrapping at 2^32.
  virtual std::uint32_t Milliseconds() = 0;

  // Replaces the whole text of the message panel (UTF-8; a literal that lives
  // for the whole run).
  virtual void SetPanelText(const char* utf8) = 0;
  // The text the panel shows: the last one given, "" before the first.
  virtual const char* PanelText() const = 0;

  // Closes the main window: the message loop ends once the running handler
  // has returned.
  virtual void CloseWindow() = 0;

  // Handles every pending event (keys, mouse, paint, due ticks) from inside a
  // running handler and returns when none is left. Presents what has been
  // painted so far first.
  virtual void ProcessMessages() = 0;
};

}  // namespace tavoren
