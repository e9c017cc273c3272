#include "platform/sdl/present.h"

namespace tavoren::sdl {

// Copies rows [top, bottom) of the framebuffer (0x00BBGGRR) into the window
// surface, converting to its layout. The usual X11 layouts get a plain loop;
// anything else goes through SDL's converter.
void CopyRows(const TColor* pixels, SDL_Surface* dst, int top, int bottom, int width) {
  const bool locked = SDL_MUSTLOCK(dst) && SDL_LockSurface(dst) == 0;
  if (SDL_MUSTLOCK(dst) && !locked) return;
  const Uint32 format = dst->format->format;
  auto* base = static_cast<Uint8*>(dst->pixels);
  if (format == SDL_PIXELFORMAT_XRGB8888 || format == SDL_PIXELFORMAT_ARGB8888) {
    for (int y = top; y < bottom; ++y) {
      const TColor* s = pixels + static_cast<std::ptrdiff_t>(y) * kClientWidth;
      auto* d = reinterpret_cast<Uint32*>(base + static_cast<std::ptrdiff_t>(y) * dst->pitch);
      for (int x = 0; x < width; ++x) {
        const Uint32 p = s[x];
        d[x] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
      }
    }
  } else if (format == SDL_PIXELFORMAT_XBGR8888 || format == SDL_PIXELFORMAT_ABGR8888) {
    for (int y = top; y < bottom; ++y) {
      const TColor* s = pixels + static_cast<std::ptrdiff_t>(y) * kClientWidth;
      auto* d = reinterpret_cast<Uint32*>(base + static_cast<std::ptrdiff_t>(y) * dst->pitch);
      for (int x = 0; x < width; ++x) d[x] = 0xFF000000u | s[x];
    }
  } else {
    SDL_ConvertPixels(width, bottom - top, SDL_PIXELFORMAT_XBGR8888,
                      pixels + static_cast<std::ptrdiff_t>(top) * kClientWidth,
                      kClientWidth * static_cast<int>(sizeof(TColor)), format,
                      base + static_cast<std::ptrdiff_t>(top) * dst->pitch, dst->pitch);
  }
  if (locked) SDL_UnlockSurface(dst);
}

}  // namespace tavoren::sdl
