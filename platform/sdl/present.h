// Moving the framebuffer onto the window: shared by the SDL layer and its
// benchmark.
#pragma once

#include <SDL.h>

#include "render/framebuffer.h"

namespace tavoren::sdl {

// Copies a rectangle of the framebuffer (0x00BBGGRR) into the same place of
// the window surface, converting to its layout. The usual X11 layouts get a
// plain loop; anything else goes through SDL's converter.
void CopyRect(const TColor* pixels, SDL_Surface* dst, const SDL_Rect& rect);

}  // namespace tavoren::sdl
