#include "app/form.h"

#include "physics/physics.h"
#include "render/painters.h"

namespace tavoren {

TForm1::TForm1(Platform& platform)
    : TGameState(), PanelForMsg(platform), TimerForCycle(platform), platform_(platform) {}

void TForm1::Close() {
  FormClose();
  platform_.CloseWindow();
}

void TForm1::FormClose() { TimerForCycle.SetEnabled(false); }

void TForm1::FormPaint() {
  PaintCloth();
  PaintRails();
  PaintAimGuide();
  PaintPanel();
}

// Each key has exactly one meaning; Enter is guarded by the mode, Backspace
// by the history, Esc and Home by nothing.
void TForm1::FormKeyDown(std::uint16_t& Key, TShiftState /*Shift*/) {
  if (Key == vk::kEscape) {
    Close();
  } else if (Key == vk::kHome) {
    FormShow();
  } else if (HistoryPos > 0 && Key == vk::kBack) {
    Undo();
  }
  // An aim of zero length (pointer exactly on the cue ball's centre) has no
  // direction to strike in: such an Enter is ignored altogether.
  if (!TimerForCycle.Enabled() && Key == vk::kReturn && CanStrike()) {
    RecordShotStart();
    Strike();
  }
}

void TForm1::FormMouseDown(TMouseButton /*Button*/, TShiftState Shift, int X, int Y) {
  FormMouseMove(Shift, X, Y);
}

// One cycle: repaint the cloth at the positions the last tick reached, move
// everything by kSubstepsPerTick substeps, then judge. A tick never catches up on time.
void TForm1::TimerForCycleTimer() {
  PaintCloth();
  for (int i = 0; i < kSubstepsPerTick; ++i) StepPhysics();
  if (!CheckShotEnd()) return;
  ReplayChaining();
}

void TForm1::StepPhysics() { tavoren::StepPhysics(*this); }

void TForm1::PaintCloth() { tavoren::PaintCloth(Canvas, *this); }
void TForm1::PaintRails() { tavoren::PaintRails(Canvas); }
void TForm1::PaintAimGuide() { tavoren::PaintAimGuide(Canvas, *this); }
void TForm1::PaintPanel() { tavoren::PaintPanel(Canvas, *this, TimerForCycle.Enabled()); }

}  // namespace tavoren
