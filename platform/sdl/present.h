// Moving the framebuffer onto the window: shared by the SDL layer and its
// benchmark.
#pragma once

#include <SDL.h>

#include "render/framebuffer.h"

namespace tavoren::sdl {

// Copies rows [top, bottom) of the framebuffer (0x00BBGGRR) into the window
// surface, converting to its layout. The usual X11 layouts get a plain loop;
// anything else goes through SDL's converter.
void CopyRows(const TColor* pixels, SDL_Surface* dst, int top, int bottom, int width);

}  // namespace tavoren::sdl
