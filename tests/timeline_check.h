// Checks shared by the random-timeline test and the coverage-guided fuzz
// target: an observer that, after every handler the headless timeline
// delivers (nested ones included), verifies what must hold at every moment
// of play, and, for the keys that the script announces, what that key must
// have done.
//
// Announcing a key (or a `show`): the script puts a `state` line right
// before the `key` line, and the checker is given the key codes of those
// announced keys in script order, kShow standing for a `show`. A `state` line and the command after
// it are always handled back to back, so the snapshot taken at `state` is the table just before the
// key, and the next handler to finish is that key's. (tavoren-headless prints a state block for
// each such line, which helps when a failing script is replayed by hand.)
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/headless/script.h"
#include "split_mix.h"
#include "tests/support.h"

namespace tavoren::timeline {

// An announced `show` (the window's show event) among the announced keys.
constexpr std::int32_t kShow = -1;
// A `state` line that announces nothing but marks a place in the script
// (the end of a piece of script run on its own, see Session).
constexpr std::int32_t kMark = -2;

using Random = testing::SplitMix64;

using testing::SameBall;
using testing::SameDouble;
using testing::ShotDifference;

// Texts are compared by content: the same literal need not have the same
// address everywhere (sanitizer builds keep literals apart).
inline bool Is(const char* shown, const char* text) { return std::strcmp(shown, text) == 0; }

// How far a run got; summed over many runs to show the scripts reach the
// states worth checking.
struct Coverage {
  long handlers = 0;
  long ticks = 0;
  long strikes = 0;         // announced Enters that fired a shot
  long undos = 0;           // announced Backspaces that restored a shot start
  long homeTicks = 0;       // first ticks after a top-level Home, checked
  long fouls = 0;           // shots judged a foul
  long legalEnds = 0;       // shots that ended without a foul, game not over
  long gameOvers = 0;       // shots that ended a game (replays included)
  long nestedHandlers = 0;  // handlers that ran inside a replay pause
  int deepestNesting = 0;
  int mostRecorded = 0;  // highest HistoryLast seen

  void Add(const Coverage& o) {
    handlers += o.handlers;
    ticks += o.ticks;
    strikes += o.strikes;
    undos += o.undos;
    homeTicks += o.homeTicks;
    fouls += o.fouls;
    legalEnds += o.legalEnds;
    gameOvers += o.gameOvers;
    nestedHandlers += o.nestedHandlers;
    if (o.deepestNesting > deepestNesting) deepestNesting = o.deepestNesting;
    if (o.mostRecorded > mostRecorded) mostRecorded = o.mostRecorded;
  }
};

class Checker : public headless::Observer {
 public:
  // announced: the key codes of the keys that follow the script's `state`
  // lines, in order (kShow for a `show`).
  Checker(headless::HeadlessPlatform& platform, std::vector<std::int32_t> announced)
      : platform_(platform), f_(platform.Form()), announced_(std::move(announced)) {}

  // Empty while everything held; otherwise the first thing that did not.
  const std::string& Failure() const { return failure_; }
  const Coverage& Seen() const { return coverage_; }
  // More announcements, for script that is still to come.
  void Announce(std::int32_t key) { announced_.push_back(key); }
  // The nesting depth at the last kMark line.
  int MarkDepth() const { return markDepth_; }

  void OnSettle(bool, std::int64_t) override {}
  void OnFrame(const std::string&) override {}

  void OnState() override {
    if (next_ >= announced_.size()) return;  // an unannounced state line
    key_ = announced_[next_++];
    if (key_ == kMark) {
      markDepth_ = platform_.NestingDepth();
      return;
    }
    pending_ = true;
    Save(before_);
    depthAtKey_ = platform_.NestingDepth();
  }

  void OnHandlerDone() override {
    if (!failure_.empty()) return;
    ++coverage_.handlers;
    const bool tick = platform_.TicksDelivered() != ticksSeen_;
    ticksSeen_ = platform_.TicksDelivered();
    if (tick) ++coverage_.ticks;
    const int depth = platform_.NestingDepth();
    if (depth > 0) ++coverage_.nestedHandlers;
    if (depth > coverage_.deepestNesting) coverage_.deepestNesting = depth;
    if (f_.HistoryLast > coverage_.mostRecorded) coverage_.mostRecorded = f_.HistoryLast;
    // A shot's end shows as a change of the message.
    const char* panel = f_.PanelForMsg.Caption();
    if (!Is(panel, lastPanel_)) {
      if (Is(panel, msg::kScratch) || Is(panel, msg::kWrongFirst) || Is(panel, msg::kNoCushion)) {
        ++coverage_.fouls;
      } else if (Is(panel, msg::kNineBall) || Is(panel, msg::kCleared)) {
        ++coverage_.gameOvers;
      } else if (Is(panel, msg::kAiming) && Is(lastPanel_, msg::kStrike)) {
        ++coverage_.legalEnds;
      }
    }
    lastPanel_ = panel;

    CheckAlways();
    if (!failure_.empty()) return;
    if (pending_) {
      pending_ = false;
      CheckAnnouncedKey();
    } else if (homeTickDue_ && tick) {
      homeTickDue_ = false;
      CheckFirstTickAfterHome();
    }
  }

 private:
  struct Picture {
    TSnapshot shot;
    std::int32_t pos, last;
    bool timer, first, legal, cushion;
    const char* panel;
    std::uint32_t clock;
  };

  void Save(Picture& p) const {
    p.shot = f_.Shot();
    p.pos = f_.HistoryPos;
    p.last = f_.HistoryLast;
    p.timer = f_.TimerForCycle.Enabled();
    p.first = f_.FirstContactSeen;
    p.legal = f_.LegalFirstHit;
    p.cushion = f_.CushionHit;
    p.panel = f_.PanelForMsg.Caption();
    p.clock = platform_.ClockReading();
  }

  void Fail(const std::string& what) {
    if (!failure_.empty()) return;
    failure_ = what + " (virtual time " + std::to_string(platform_.Now()) + " ms, nesting " +
               std::to_string(platform_.NestingDepth()) + ", history pos " +
               std::to_string(f_.HistoryPos) + " last " + std::to_string(f_.HistoryLast) +
               ", timer " + (f_.TimerForCycle.Enabled() ? "on" : "off") + ")";
  }

  bool Unchanged(const Picture& p, const char* what) {
    const std::string differs = ShotDifference(p.shot, f_.Shot());
    if (!differs.empty()) {
      Fail(std::string(what) + " changed " + differs);
      return false;
    }
    if (p.pos != f_.HistoryPos || p.last != f_.HistoryLast) {
      Fail(std::string(what) + " changed the history counters");
      return false;
    }
    if (p.timer != f_.TimerForCycle.Enabled()) {
      Fail(std::string(what) + " changed the mode");
      return false;
    }
    if (!Is(p.panel, f_.PanelForMsg.Caption())) {
      Fail(std::string(what) + " changed the message");
      return false;
    }
    return true;
  }

  // What holds after every handler, whatever it was.
  void CheckAlways() {
    if (platform_.Closed()) return;
    if (platform_.Now() < lastNow_) return Fail("virtual time ran backwards");
    lastNow_ = platform_.Now();
    for (int i = 0; i < 10; ++i) {
      const TBall& b = f_.Balls[i];
      const double v[7] = {b.X, b.Y, b.VX, b.VY, b.RollX, b.RollY, b.SideSpin};
      for (double x : v) {
        if (!std::isfinite(x))
          return Fail("ball " + std::to_string(i) + " has a field that is not finite");
      }
      if (b.OnTable && !(b.X >= 0.0 && b.X <= 880.0 && b.Y >= 0.0 && b.Y <= 480.0)) {
        return Fail("ball " + std::to_string(i) + " is on the table outside it at (" +
                    std::to_string(b.X) + ", " + std::to_string(b.Y) + ")");
      }
    }
    const double settings[5] = {f_.SpinX, f_.SpinY, f_.AimX, f_.AimY, f_.Power};
    for (double x : settings) {
      if (!std::isfinite(x)) return Fail("a shot setting is not finite");
    }
    if (!(f_.Power >= 0.0 && f_.Power <= 0.4)) return Fail("power outside 0 .. 0.4");
    if (!(f_.SpinX * f_.SpinX + f_.SpinY * f_.SpinY <= 0.36 + 1e-12)) {
      return Fail("spin offset beyond 0.6");
    }
    if (!(0 <= f_.HistoryPos && f_.HistoryPos <= f_.HistoryLast &&
          f_.HistoryLast <= kHistorySize)) {
      return Fail("history counters out of order");
    }
    if (!shown_) {
      // Before the first rack nothing is on the table and nothing counts.
      for (const TBall& b : f_.Balls) shown_ = shown_ || b.OnTable;
      if (!shown_) {
        if (f_.TargetBall != 0 || f_.HistoryLast != 0)
          return Fail("state changed before the first rack");
        return;
      }
    }
    if (f_.TargetBall < 1 || f_.TargetBall > 10) return Fail("target ball outside 1 .. 10");
    if (!f_.TimerForCycle.Enabled()) {
      // Aiming: every ball rests, the target is the lowest ball left, and the
      // message is one of those that go with aiming.
      for (int i = 0; i < 10; ++i) {
        if (f_.Balls[i].OnTable && !AtRest(f_.Balls[i])) {
          return Fail("aiming while ball " + std::to_string(i) + " moves");
        }
      }
      int lowest = 1;
      while (lowest <= 9 && !f_.Balls[lowest].OnTable) ++lowest;
      if (f_.TargetBall != lowest) {
        return Fail("aiming at target " + std::to_string(f_.TargetBall) +
                    " while the lowest ball is " + std::to_string(lowest));
      }
      const char* p = f_.PanelForMsg.Caption();
      if (!Is(p, msg::kAiming) && !Is(p, msg::kUndone) && !Is(p, msg::kNineBall) &&
          !Is(p, msg::kCleared)) {
        return Fail(std::string("aiming with the message: ") + p);
      }
    }
  }

  void CheckAnnouncedKey() {
    const Picture& b = before_;
    switch (key_) {
      case vk::kBack:
        if (b.pos == 0) {
          Unchanged(b, "Backspace with nothing recorded");
          return;
        }
        CheckUndo();
        return;
      case kShow:
      case vk::kHome: CheckHome(); return;
      case vk::kReturn: CheckEnter(); return;
      default: Unchanged(b, ("key " + std::to_string(key_)).c_str()); return;
    }
  }

  void CheckUndo() {
    const Picture& b = before_;
    ++coverage_.undos;
    if (f_.TimerForCycle.Enabled()) return Fail("Backspace left the timer running");
    if (f_.HistoryPos != b.pos - 1 || f_.HistoryLast != b.last) {
      return Fail("Backspace did not step back exactly one shot");
    }
    const std::string restored = ShotDifference(f_.HistoryEntry(b.pos), f_.Shot());
    if (!restored.empty()) return Fail("Backspace did not restore " + restored);
    if (f_.FirstContactSeen != b.first || f_.LegalFirstHit != b.legal ||
        f_.CushionHit != b.cushion) {
      return Fail("Backspace touched the per-shot flags");
    }
    if (!Is(f_.PanelForMsg.Caption(), msg::kUndone))
      return Fail("Backspace did not show the undo text");
  }

  bool IsRack(std::uint32_t clock) const { return testing::RackDiffers(f_.Balls, clock).empty(); }

  void CheckHome() {
    const std::string what = key_ == kShow ? "show" : "Home";
    if (!f_.TimerForCycle.Enabled()) return Fail(what + " did not start the timer");
    if (f_.HistoryPos != 0 || f_.HistoryLast != 0) return Fail(what + " kept the history");
    if (f_.TargetBall != 1 || f_.Power != 0.4 || f_.AimX != 400.0 || f_.AimY != 0.0) {
      return Fail(what + " did not set up the break");
    }
    if (!f_.LegalFirstHit || !f_.CushionHit)
      return Fail(what + " did not arm the rack's first judgement");
    if (!IsRack(platform_.ClockReading()))
      return Fail(what + " did not rack the balls the clock gives");
    if (depthAtKey_ == 0) {
      // At top level nothing but another Home can change the table before
      // the rack's first tick, which must then judge it and aim at ball 1.
      homeTickDue_ = true;
      homeClock_ = platform_.ClockReading();
    }
  }

  void CheckFirstTickAfterHome() {
    ++coverage_.homeTicks;
    if (f_.TimerForCycle.Enabled())
      return Fail("the rack's first tick did not bring the aiming mode");
    if (!Is(f_.PanelForMsg.Caption(), msg::kAiming))
      return Fail("the rack's first tick did not show the aiming text");
    if (!IsRack(homeClock_)) return Fail("the rack's first tick moved a ball");
    if (f_.TargetBall != 1 || f_.HistoryPos != 0 || f_.HistoryLast != 0) {
      return Fail("the rack's first tick changed the target or the history");
    }
    if (!SameDouble(f_.SpinX, 0.0) || !SameDouble(f_.SpinY, 0.0)) {
      return Fail("the rack's first tick did not centre the spin");
    }
    if (!SameDouble(f_.AimX, f_.Balls[1].X - f_.Balls[0].X) ||
        !SameDouble(f_.AimY, f_.Balls[1].Y - f_.Balls[0].Y)) {
      return Fail("the rack's first tick did not aim at ball 1");
    }
  }

  void CheckEnter() {
    const Picture& b = before_;
    if (b.timer || std::sqrt(b.shot.AimX * b.shot.AimX + b.shot.AimY * b.shot.AimY) == 0.0) {
      Unchanged(b, b.timer ? "Enter while running" : "Enter with a zero aim");
      return;
    }
    ++coverage_.strikes;
    if (!f_.TimerForCycle.Enabled()) return Fail("Enter did not start the shot");
    if (f_.Power != 0.08) return Fail("Enter did not leave the power at 0.08");
    if (f_.FirstContactSeen || f_.LegalFirstHit || f_.CushionHit)
      return Fail("Enter did not clear the flags");
    if (!Is(f_.PanelForMsg.Caption(), msg::kStrike))
      return Fail("Enter did not show the strike text");
    const int pos = b.pos < kHistorySize ? b.pos + 1 : b.pos;
    const int last = b.last > pos ? b.last : pos;
    if (f_.HistoryPos != pos || f_.HistoryLast != last)
      return Fail("Enter recorded the shot in the wrong place");
    if (b.pos < kHistorySize) {
      const std::string recorded = ShotDifference(b.shot, f_.HistoryEntry(pos));
      if (!recorded.empty()) return Fail("Enter recorded " + recorded + " wrongly");
    }
    for (int i = 1; i < 10; ++i) {
      if (!SameBall(b.shot.Balls[i], f_.Balls[i]))
        return Fail("Enter moved ball " + std::to_string(i));
    }
    if (!SameDouble(b.shot.Balls[0].X, f_.Balls[0].X) ||
        !SameDouble(b.shot.Balls[0].Y, f_.Balls[0].Y)) {
      return Fail("Enter moved the cue ball");
    }
  }

  headless::HeadlessPlatform& platform_;
  TForm1& f_;
  std::vector<std::int32_t> announced_;
  std::size_t next_ = 0;
  std::string failure_;
  Coverage coverage_;

  bool shown_ = false;
  const char* lastPanel_ = "";
  std::int64_t lastNow_ = 0;
  std::int64_t ticksSeen_ = 0;

  int markDepth_ = 0;
  bool pending_ = false;
  std::int32_t key_ = 0;
  int depthAtKey_ = 0;
  Picture before_{};

  bool homeTickDue_ = false;
  std::uint32_t homeClock_ = 0;
};

// A script being written: its text, and the keys announced in it.
struct Script {
  std::string text;
  std::vector<std::int32_t> announced;

  void Line(const std::string& s) {
    text += s;
    text += '\n';
  }
  // A key press with its announcement.
  void Key(std::uint16_t code) {
    Line("state");
    Line("key " + std::to_string(code));
    announced.push_back(code);
  }
  // A mark (see kMark).
  void Mark() {
    Line("state");
    announced.push_back(kMark);
  }
  // A new rack through the show event, announced.
  void Show() {
    Line("state");
    Line("show");
    announced.push_back(kShow);
  }
};

// Runs a whole script on a new program; returns the checker's verdict
// (empty when all held) and adds to the coverage.
inline std::string RunChecked(const Script& script, Coverage* coverage = nullptr) {
  std::vector<headless::Command> commands;
  headless::ParseError error;
  if (!headless::ParseScript(script.text, commands, error)) {
    return "the script does not parse: line " + std::to_string(error.line) + ": " + error.message;
  }
  auto platform = std::make_unique<headless::HeadlessPlatform>();
  Checker checker(*platform, script.announced);
  platform->Run(commands, &checker);
  if (coverage != nullptr) coverage->Add(checker.Seen());
  return checker.Failure();
}

// ---- Painting only what changed ----

// The cloth is repainted only where something on it changed; after every
// handler the picture must be the very one that painting the whole cloth
// gives. PaintingDiffers runs the script as a reference, in which the cloth
// painter's record is dropped after every handler (nested ones included) so
// that each handler's first cloth paint paints all of it, and then as the
// game paints, and compares the whole framebuffer after every handler by a
// 64-bit fingerprint, and byte for byte at the end. Empty when they agree;
// otherwise where they first differ.
//
// The fingerprint is kept row by row: after a handler only the rows it wrote
// are looked at (the headless platform presents nothing, so the damage is
// this observer's to take), and only those that came out different are
// hashed again.
class PictureLog final : public headless::Observer {
 public:
  PictureLog(Framebuffer& fb, std::vector<std::uint64_t>* record,
             const std::vector<std::uint64_t>* expect)
      : fb_(fb), record_(record), expect_(expect), rows_(std::make_unique<Rows>()) {
    for (int y = 0; y < kPanelTop; ++y) {
      hashes_[y] = HashRow(y, rows_->pixels[y]);
      print_ ^= hashes_[y];
    }
  }
  void OnSettle(bool, std::int64_t) override {}
  void OnState() override {}
  void OnFrame(const std::string&) override {}
  void OnHandlerDone() override {
    fb_.TakeDamage().ForEachRun([this](int top, int bottom, int, int) {
      for (int y = top; y < bottom; ++y) {
        const TColor* row = fb_.Pixels() + y * kClientWidth;
        if (std::memcmp(row, rows_->pixels[y], sizeof rows_->pixels[y]) == 0) continue;
        std::memcpy(rows_->pixels[y], row, sizeof rows_->pixels[y]);
        const std::uint64_t h = HashRow(y, row);
        print_ ^= hashes_[y] ^ h;
        hashes_[y] = h;
      }
    });
    if (record_ != nullptr) {
      record_->push_back(print_);
      fb_.Cloth() = {};  // the reference: the next cloth paint paints it all
    }
    if (expect_ != nullptr && firstDifference_ < 0 &&
        (handlers_ >= expect_->size() || (*expect_)[handlers_] != print_)) {
      firstDifference_ = static_cast<long>(handlers_);
    }
    ++handlers_;
  }
  long FirstDifference() const { return firstDifference_; }
  std::size_t Handlers() const { return handlers_; }

 private:
  struct Rows {
    TColor pixels[kPanelTop][kClientWidth] = {};
  };

  // Two pixels to a word, four independent lanes so the multiplications
  // overlap.
  static std::uint64_t HashRow(int y, const TColor* row) {
    static_assert(kClientWidth % 8 == 0);
    std::uint64_t lane[4] = {1, 2, 3, static_cast<std::uint64_t>(y) + 4};
    for (int x = 0; x < kClientWidth; x += 8) {
      for (int k = 0; k < 4; ++k) {
        std::uint64_t w;
        std::memcpy(&w, row + x + 2 * k, sizeof w);
        lane[k] = (lane[k] ^ w) * 0x9E3779B97F4A7C15ull;
        lane[k] ^= lane[k] >> 29;
      }
    }
    return (lane[0] ^ (lane[1] * 3) ^ (lane[2] * 5) ^ (lane[3] * 7)) * 0x100000001B3ull;
  }

  Framebuffer& fb_;
  std::vector<std::uint64_t>* record_;
  const std::vector<std::uint64_t>* expect_;
  std::unique_ptr<Rows> rows_;  // the rows as last looked at
  std::uint64_t hashes_[kPanelTop];
  std::uint64_t print_ = 0;
  std::size_t handlers_ = 0;
  long firstDifference_ = -1;
};

inline std::string PaintingDiffers(const std::vector<headless::Command>& script) {
  std::vector<std::uint64_t> reference;
  auto whole = std::make_unique<headless::HeadlessPlatform>();
  PictureLog recorder(whole->Form().Canvas, &reference, nullptr);
  whole->Run(script, &recorder);

  auto game = std::make_unique<headless::HeadlessPlatform>();
  PictureLog checker(game->Form().Canvas, nullptr, &reference);
  game->Run(script, &checker);
  if (checker.FirstDifference() >= 0) {
    return "the picture differs from the whole repaint after handler " +
           std::to_string(checker.FirstDifference() + 1) + " of " +
           std::to_string(reference.size());
  }
  if (checker.Handlers() != reference.size())
    return "the two runs ran different numbers of handlers";
  if (std::memcmp(whole->Form().Canvas.Pixels(), game->Form().Canvas.Pixels(),
                  sizeof(TColor) * kClientWidth * kClientHeight) != 0) {
    return "the last pictures differ";
  }
  return "";
}

}  // namespace tavoren::timeline
