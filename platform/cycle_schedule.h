// The 40 ms cycle timer as a schedule on a monotonic clock, shared by the
// layers that keep their own event loop (SDL2, web) and the headless layer's
// virtual clock. The loop
// asks it how long it may sleep and whether a tick is due; it never owes
// more than one tick, however late the loop comes back.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace tavoren {

class CycleSchedule {
 public:
  static constexpr std::int64_t kIntervalNs = std::int64_t{kCycleIntervalMs} * 1'000'000;

  bool Enabled() const { return enabled_; }

  // A newly enabled timer ticks first one interval later; enabling an
  // enabled timer changes nothing.
  void Enable(std::int64_t nowNs) {
    if (enabled_) return;
    enabled_ = true;
    due_ = nowNs + kIntervalNs;
  }
  void Disable() { enabled_ = false; }

  bool Due(std::int64_t nowNs) const { return enabled_ && nowNs >= due_; }

  // Takes the tick that is due. The next one keeps the 40 ms cadence; when
  // the loop came back more than a whole interval late, the next tick is
  // one interval from now instead: a late tick is delivered once, never
  // caught up.
  void TakeTick(std::int64_t nowNs) {
    due_ += kIntervalNs;
    if (due_ <= nowNs) due_ = nowNs + kIntervalNs;
  }

  // Whole milliseconds until the next tick, rounded up so that a wait of
  // that length never ends before the tick is due; -1 while disabled.
  int WaitMs(std::int64_t nowNs) const {
    if (!enabled_) return -1;
    const std::int64_t rest = due_ - nowNs;
    if (rest <= 0) return 0;
    return static_cast<int>((rest + 999'999) / 1'000'000);
  }

 private:
  bool enabled_ = false;
  std::int64_t due_ = 0;
};

}  // namespace tavoren
