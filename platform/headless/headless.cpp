#include "platform/headless/headless.h"

namespace tavoren::headless {

HeadlessPlatform::HeadlessPlatform() : form_(std::make_unique<TForm1>(*this)) {}
HeadlessPlatform::~HeadlessPlatform() = default;

std::uint32_t HeadlessPlatform::ClockReading() const {
  return clockBase_ + static_cast<std::uint32_t>(now_ - clockSetAt_);
}

void HeadlessPlatform::SetClock(std::uint32_t reading) {
  clockBase_ = reading;
  clockSetAt_ = now_;
}

void HeadlessPlatform::SetCycleTimer(bool enabled) {
  if (enabled) {
    timer_.Enable(NowNs());
  } else {
    timer_.Disable();
  }
}

void HeadlessPlatform::AfterHandler() {
  if (observer_ != nullptr) observer_->OnHandlerDone();
}

// Virtual time never passes a due tick, so the tick is delivered at the
// very millisecond it is due.
void HeadlessPlatform::DeliverTick() {
  now_ = NextTick();
  timer_.TakeTick(NowNs());
  ++ticks_;
  form_->TimerForCycleTimer();
  AfterHandler();
}

void HeadlessPlatform::Execute(const Command& c) {
  const int x = static_cast<int>(c.a), y = static_cast<int>(c.b);
  switch (c.op) {
    case Op::Clock: SetClock(static_cast<std::uint32_t>(c.a)); return;
    case Op::Show: form_->FormShow(); break;
    case Op::Key: {
      std::uint16_t key = static_cast<std::uint16_t>(c.a);
      form_->FormKeyDown(key, 0);
      break;
    }
    case Op::Press: form_->FormMouseDown(mbLeft, ssLeft, x, y); break;
    case Op::PressRight: form_->FormMouseDown(mbRight, ssRight, x, y); break;
    case Op::Drag: form_->FormMouseMove(ssLeft, x, y); break;
    case Op::Move: form_->FormMouseMove(0, x, y); break;
    case Op::Paint: form_->FormPaint(); break;
    case Op::Close: form_->Close(); break;
    case Op::State:
      if (observer_ != nullptr) observer_->OnState();
      return;
    case Op::Frame:
      if (observer_ != nullptr) observer_->OnFrame(c.file);
      return;
    case Op::Wait:
    case Op::Settle: return;  // handled by the timeline itself
  }
  AfterHandler();
}

// The command at pc_, if it is due. `wait` only moves the script time on;
// `settle` holds the script until the program waits in the aiming mode at
// top level, or until its cap.
HeadlessPlatform::Step HeadlessPlatform::TryCommand(bool top) {
  if (closed_ || stopped_ || pc_ >= script_->size()) return Step::Done;
  const Command& c = (*script_)[pc_];
  if (due_ > now_) return Step::Blocked;
  if (c.op == Op::Wait) {
    due_ += c.a;
    ++pc_;
    return Step::Bookkeeping;
  }
  if (c.op == Op::Settle) {
    if (!settling_) {
      settling_ = true;
      settleStart_ = due_;
    }
    const std::int64_t cap = settleStart_ + c.a;
    if (top && !timer_.Enabled()) {
      settling_ = false;
      ++pc_;
      due_ = now_;
      if (observer_ != nullptr) observer_->OnSettle(true, now_ - settleStart_);
      return Step::Bookkeeping;
    }
    if (now_ >= cap) {
      settling_ = false;
      ++pc_;
      due_ = cap;
      if (observer_ != nullptr) observer_->OnSettle(false, c.a);
      return Step::Bookkeeping;
    }
    return Step::Blocked;
  }
  ++pc_;
  Execute(c);
  return Step::Handled;
}

void HeadlessPlatform::Run(const std::vector<Command>& script, Observer* observer) {
  script_ = &script;
  observer_ = observer;
  pc_ = 0;
  due_ = now_;
  settling_ = false;
  while (!closed_ && !stopped_ && pc_ < script.size()) {
    // The moment the script is waiting for: its next command, or a settle's cap.
    std::int64_t target = due_;
    const Command& c = script[pc_];
    if (c.op == Op::Settle && due_ <= now_) {
      const std::int64_t start = settling_ ? settleStart_ : due_;
      target = timer_.Enabled() ? start + c.a : now_;
    }
    if (timer_.Enabled() && NextTick() < target) {
      DeliverTick();
      continue;
    }
    if (target > now_) now_ = target;
    TryCommand(true);
  }
  // A trailing wait still lets its time pass.
  while (!closed_ && !stopped_ && timer_.Enabled() && NextTick() < due_) DeliverTick();
  if (!closed_ && !stopped_ && due_ > now_) now_ = due_;
  script_ = nullptr;
  observer_ = nullptr;
}

void HeadlessPlatform::ProcessMessages() {
  ++depth_;
  bool handled = false;
  for (;;) {
    const Step step = script_ != nullptr ? TryCommand(false) : Step::Done;
    if (step == Step::Handled) {
      handled = true;
      continue;
    }
    if (step == Step::Bookkeeping) continue;
    if (!closed_ && !stopped_ && timer_.Due(NowNs())) {
      DeliverTick();
      handled = true;
      continue;
    }
    break;
  }
  if (!handled) ++now_;
  --depth_;
}

}  // namespace tavoren::headless
