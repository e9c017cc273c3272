// The painters of the window. Each visits pixel rows from the top down and
// finishes a row (background first) before the next, so a repaint replaces
// the old picture row by row and nothing is ever cleared as a whole.
#pragma once

#include "game/state.h"
#include "render/framebuffer.h"

namespace tavoren {

// Cloth, the three spots and every ball on the table (the cloth's rows).
void PaintCloth(Framebuffer& fb, const TGameState& s);
// Rails, pocket throats and pockets: all of columns 0 to 880 off the cloth.
void PaintRails(Framebuffer& fb);
// The white line's length in contact distances (12 pixels each).
constexpr double kGuideLength = 100.0;

// Red cue line along the aim; white line where the target ball will go.
void PaintAimGuide(Framebuffer& fb, const TGameState& s);
// The blue control strip; spin disc, marker and power bar while aiming.
void PaintPanel(Framebuffer& fb, const TGameState& s, bool timerEnabled);

}  // namespace tavoren
