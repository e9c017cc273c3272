#include "platform/sdl/present.h"

#include <cstddef>

namespace tavoren::sdl {

void CopyRect(const TColor* pixels, SDL_Surface* dst, const SDL_Rect& rect) {
  if (rect.w <= 0 || rect.h <= 0) return;
  const bool locked = SDL_MUSTLOCK(dst) && SDL_LockSurface(dst) == 0;
  if (SDL_MUSTLOCK(dst) && !locked) return;
  const Uint32 format = dst->format->format;
  // Locals: the surface's pixels could alias the rectangle's fields, which
  // would keep the loops below from being vectorised.
  const int left = rect.x, width = rect.w, top = rect.y, bottom = rect.y + rect.h;
  // The first pixel of row y, in the framebuffer and in the surface.
  const auto from = [&](int y) {
    return pixels + static_cast<std::ptrdiff_t>(y) * kClientWidth + left;
  };
  const auto to = [&](int y) {
    return static_cast<Uint8*>(dst->pixels) + static_cast<std::ptrdiff_t>(y) * dst->pitch +
           static_cast<std::ptrdiff_t>(left) * 4;
  };
  if (format == SDL_PIXELFORMAT_XRGB8888 || format == SDL_PIXELFORMAT_ARGB8888) {
    for (int y = top; y < bottom; ++y) {
      const TColor* s = from(y);
      auto* d = reinterpret_cast<Uint32*>(to(y));
      for (int x = 0; x < width; ++x) {
        const Uint32 p = s[x];
        d[x] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
      }
    }
  } else if (format == SDL_PIXELFORMAT_XBGR8888 || format == SDL_PIXELFORMAT_ABGR8888) {
    for (int y = top; y < bottom; ++y) {
      const TColor* s = from(y);
      auto* d = reinterpret_cast<Uint32*>(to(y));
      for (int x = 0; x < width; ++x) d[x] = 0xFF000000u | s[x];
    }
  } else {
    SDL_ConvertPixels(width, bottom - top, SDL_PIXELFORMAT_XBGR8888, from(top),
                      kClientWidth * static_cast<int>(sizeof(TColor)), format,
                      static_cast<Uint8*>(dst->pixels) +
                          static_cast<std::ptrdiff_t>(top) * dst->pitch +
                          static_cast<std::ptrdiff_t>(left) * dst->format->BytesPerPixel,
                      dst->pitch);
  }
  if (locked) SDL_UnlockSurface(dst);
}

}  // namespace tavoren::sdl
