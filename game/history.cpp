// The history of shot starts: recording at Enter, undo at Backspace, and the
// replay that the cycle runs after a shot ended without a foul.
#include "app/form.h"

namespace tavoren {

// Called by Enter just before the strike. Past 100 shots the shot is fired
// without a record.
void TForm1::RecordShotStart() {
  if (HistoryPos >= kHistorySize) return;
  ++HistoryPos;
  if (HistoryPos >= HistoryLast) HistoryLast = HistoryPos;
  HistoryEntry(HistoryPos) = Shot();
}

// Backspace: back to the moment the last fired shot started, in either mode.
// The undone shot and the ones after it stay as the recorded future.
void TForm1::Undo() {
  TimerForCycle.SetEnabled(false);
  Shot() = HistoryEntry(HistoryPos);
  --HistoryPos;
  PaintCloth();
  PaintRails();
  PaintAimGuide();
  PaintPanel();
  PanelForMsg.SetCaption(msg::kUndone);
}

// The replay presses keys through the key handler so every guard holds.
void TForm1::PressKey(std::uint16_t key) { FormKeyDown(key, 0); }

// Runs at the end of a tick whose shot ended without a foul. Steps to the
// next recorded shot after a pause of kReplayPauseMs, or, when the game is over,
// starts its replay from the break.
void TForm1::ReplayChaining() {
  if (HistoryPos < HistoryLast) {
    ++HistoryPos;
    PressKey(vk::kBack);
  } else if (Balls[9].OnTable) {
    return;
  }
  // The pause keeps the window alive; a key or click that steps back in the
  // history abandons the replay. Elapsed time is taken modulo 65536 so a
  // wrap of the clock does no harm.
  const std::int32_t p = HistoryPos;
  const std::uint32_t t0 = platform_.Milliseconds();
  for (;;) {
    const auto elapsed = static_cast<std::uint16_t>(platform_.Milliseconds() - t0);
    if (elapsed >= kReplayPauseMs) break;
    platform_.ProcessMessages();
    if (HistoryPos < p) return;
  }
  if (HistoryPos < HistoryLast) {
    PressKey(vk::kReturn);
    return;
  }
  if (Balls[9].OnTable) return;
  HistoryPos = 0;
  TimerForCycle.SetEnabled(true);
}

}  // namespace tavoren
