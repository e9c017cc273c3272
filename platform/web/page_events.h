// What page.js hands the game for each event: its kind and the bits of the
// modifier keys held. The page's copy is generated from these at build time
// (the driver's --describe, facts.js), so they are written here only.
#pragma once

namespace tavoren::web {

enum EventKind { kNone = 0, kKey = 1, kPointerDown = 2, kPointerMove = 3, kVisible = 4 };

// The modifier keys of an event, as page.js packs them.
namespace modifier {
constexpr int kShift = 1, kAlt = 2, kCtrl = 4;
}

}  // namespace tavoren::web
