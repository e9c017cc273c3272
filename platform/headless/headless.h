// The headless platform: a virtual millisecond clock and a scripted timeline
// of input in place of a display. It runs the very same TForm1, delivering
// show, keys, mouse, paint, close and timer ticks as a player's session
// would, including the nested message processing of the replay pause.
//
// Supported: everything of the Platform contract. Not supported: real time,
// presentation (the framebuffer is read directly by whoever wants a picture).
//
// Time: the cycle timer is the CycleSchedule of the layers with a screen, on
// the virtual clock: while it is enabled a tick is due every 40 ms, the first
// 40 ms after enabling. A command due at the same millisecond as a tick comes first.
// At top level virtual time jumps to whatever is due next; inside the replay
// pause each ProcessMessages call handles everything due and, when nothing
// was, lets 1 ms pass.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/form.h"
#include "platform/cycle_schedule.h"
#include "platform/headless/script.h"
#include "platform/platform.h"

namespace tavoren::headless {

// Receives the commands that report rather than act.
class Observer {
 public:
  virtual ~Observer() = default;
  virtual void OnSettle(bool settled, std::int64_t elapsedMs) = 0;
  virtual void OnState() = 0;
  virtual void OnFrame(const std::string& file) = 0;
  // After every handler the timeline delivered (keys, mouse, paint, show,
  // close, ticks), nested ones included. Optional.
  virtual void OnHandlerDone() {}
};

class HeadlessPlatform final : public Platform {
 public:
  HeadlessPlatform();
  ~HeadlessPlatform() override;

  TForm1& Form() { return *form_; }

  // Runs the script from its first command to its end, to `close` or to Esc.
  void Run(const std::vector<Command>& script, Observer* observer = nullptr);

  // Ends the run early (the observer could not report): no further command
  // is taken and no further tick delivered; a replay pause in progress runs
  // out its time and returns.
  void Stop() { stopped_ = true; }

  // Virtual milliseconds since the start; the clock reading.
  std::int64_t Now() const { return now_; }
  std::uint32_t ClockReading() const;
  // The clock reads `reading` from now on (the script's `clock`).
  void SetClock(std::uint32_t reading);
  bool Closed() const { return closed_; }
  // True while a handler has the message processing running inside it.
  int NestingDepth() const { return depth_; }
  std::int64_t TicksDelivered() const { return ticks_; }

  // Platform
  void SetCycleTimer(bool enabled) override;
  bool CycleTimerEnabled() const override { return timer_.Enabled(); }
  std::uint32_t Milliseconds() override { return ClockReading(); }
  void SetPanelText(const char* utf8) override { panel_ = utf8 != nullptr ? utf8 : ""; }
  const char* PanelText() const override { return panel_; }
  void CloseWindow() override { closed_ = true; }
  void ProcessMessages() override;

 private:
  enum class Step { Handled, Bookkeeping, Blocked, Done };
  // Tries the command at pc_ at the current time; top says whether we are
  // outside every handler.
  Step TryCommand(bool top);
  void Execute(const Command& c);
  std::int64_t NowNs() const { return now_ * 1'000'000; }
  // The virtual millisecond the next tick is due; only while the timer runs.
  std::int64_t NextTick() const { return now_ + timer_.WaitMs(NowNs()); }
  void DeliverTick();
  void AfterHandler();

  std::unique_ptr<TForm1> form_;
  const std::vector<Command>* script_ = nullptr;
  Observer* observer_ = nullptr;
  std::size_t pc_ = 0;
  std::int64_t due_ = 0;  // script time of the command at pc_
  bool settling_ = false;
  std::int64_t settleStart_ = 0;

  std::int64_t now_ = 0;
  std::uint32_t clockBase_ = 0;
  std::int64_t clockSetAt_ = 0;
  CycleSchedule timer_;
  std::int64_t ticks_ = 0;
  const char* panel_ = "";
  bool closed_ = false;
  bool stopped_ = false;
  int depth_ = 0;
};

}  // namespace tavoren::headless
