// The game's state records and the fixed data every layer shares: ball
// colours, the rack layout and the texts shown to the player. Where things
// lie in the window is in game/table.h.
#pragma once

#include <algorithm>
#include <cstdint>

#include "game/table.h"

namespace tavoren {

// 24-bit colour laid out 0x00BBGGRR (0x0000FF is red, 0xFF0000 is blue).
using TColor = std::uint32_t;

// One ball. Velocities and spins are in pixels per physics substep.
// RollX/RollY: the rolling spin, expressed as the velocity of natural roll.
// SideSpin: spin about the vertical axis as a surface speed.
struct TBall {
  bool OnTable = false;
  TColor Color = 0;
  double VX = 0.0, VY = 0.0;
  double RollX = 0.0, RollY = 0.0;
  double SideSpin = 0.0;
  double X = 0.0, Y = 0.0;
};

// The start of one recorded shot: the table and the shot settings.
// The per-shot flags are deliberately not part of it.
struct TSnapshot {
  TBall Balls[10];
  double SpinX = 0.0, SpinY = 0.0, AimX = 0.0, AimY = 0.0, Power = 0.0;
  std::int32_t TargetBall = 0;
};

constexpr int kHistorySize = 100;

// Every field of the main window's state. The form derives from this;
// physics and painters take it by reference so they can be exercised on a
// bare state. The table and the shot settings are the state's TSnapshot part
// (Balls, SpinX ... TargetBall are its fields, named as ever), so a shot
// start is recorded and restored as one assignment (Shot()).
struct TGameState : TSnapshot {
  TSnapshot History[kHistorySize];  // entry n (1..100) lives at History[n - 1]
  std::int32_t HistoryLast = 0;
  std::int32_t HistoryPos = 0;
  bool FirstContactSeen = false;
  bool LegalFirstHit = false;
  bool CushionHit = false;

  TSnapshot& Shot() { return *this; }
  const TSnapshot& Shot() const { return *this; }
  TSnapshot& HistoryEntry(int n) { return History[n - 1]; }
  const TSnapshot& HistoryEntry(int n) const { return History[n - 1]; }
};

// A ball at rest: all five motion values exactly zero (of either sign).
inline bool AtRest(const TBall& b) {
  return b.VX == 0.0 && b.VY == 0.0 && b.RollX == 0.0 && b.RollY == 0.0 && b.SideSpin == 0.0;
}

namespace colors {
constexpr TColor kCloth = 0x00C000;
constexpr TColor kSpot = 0xC0C0C0;
constexpr TColor kRail = 0x002070;
constexpr TColor kPocket = 0x000000;
constexpr TColor kStrip = 0xFF0000;
constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kRed = 0x0000FF;
constexpr TColor kBlack = 0x000000;
// The panel's background: the usual button-face grey.
constexpr TColor kButtonFace = 0xF0F0F0;
constexpr TColor kBall[10] = {0xFFFFFF, 0x00FFFF, 0xFF0000, 0x0000FF, 0x800080,
                              0x0080FF, 0x008000, 0x000080, 0x000000, 0x60FFFF};
}  // namespace colors

// Each ball's offset from the foot spot in a new rack.
struct RackOffset {
  std::int32_t X, Y;
};
constexpr RackOffset kRackLayout[10] = {{-400, 0}, {0, 0},   {22, 12}, {44, 0},  {22, -12},
                                        {33, 6},   {33, -6}, {11, 6},  {11, -6}, {22, 0}};

// Held buttons and modifiers of a mouse or key event.
enum TShiftFlag : unsigned {
  ssShift = 1u << 0,
  ssAlt = 1u << 1,
  ssCtrl = 1u << 2,
  ssLeft = 1u << 3,
  ssRight = 1u << 4,
  ssMiddle = 1u << 5,
};
using TShiftState = unsigned;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Virtual-key codes the program reacts to.
namespace vk {
constexpr std::uint16_t kBack = 8, kReturn = 13, kEscape = 27, kHome = 36;
}

// Everything the player is ever told.
namespace msg {
inline constexpr const char* kTitle = "タヴォレン";
inline constexpr const char* kAiming =
    "左ボタンで、撞く方向、撞点、力加減を指定。Enterキーでショット。Back "
    "Spaceキーで前状態復元。Homeキーで新規開始。";
inline constexpr const char* kStrike =
    "Back Spaceキーで中断して前状態復元。Homeキーで中断して新規開始。";
inline constexpr const char* kScratch = "手球スクラッチです。Back Spaceキーで前状態復元。";
inline constexpr const char* kWrongFirst =
    "最初に的球に当たりませんでした。ファウルです。Back Spaceキーで前状態復元。";
inline constexpr const char* kNoCushion =
    "ノークッション・ファウルです。Back Spaceキーで前状態復元。";
inline constexpr const char* kCleared =
    "取り切りました。２秒後、再現を始めます。Back Spaceキーで前状態復元。Homeキーで新規開始。";
inline constexpr const char* kNineBall =
    "９ボールが入りました。２秒後、再現を始めます。Back "
    "Spaceキーで前状態復元。Homeキーで新規開始。";
inline constexpr const char* kUndone =
    "Enterキーで最後まで再現。左ボタンで、撞く方向、撞点、力加減を指定。Back "
    "Spaceキーで前状態復元。Homeキーで新規開始。";

// Every text the panel ever shows.
inline constexpr const char* kPanelTexts[] = {kAiming,    kStrike,  kScratch,  kWrongFirst,
                                              kNoCushion, kCleared, kNineBall, kUndone};

// Characters (code points) in a UTF-8 text.
constexpr int CharacterCount(const char* utf8) {
  int n = 0;
  for (; *utf8 != 0; ++utf8) {
    if ((static_cast<unsigned char>(*utf8) & 0xC0) != 0x80) ++n;
  }
  return n;
}

// The characters in the longest panel text: what the panel must make room for.
constexpr int LongestPanelText() {
  int longest = 0;
  for (const char* text : kPanelTexts) longest = std::max(longest, CharacterCount(text));
  return longest;
}
}  // namespace msg

}  // namespace tavoren
