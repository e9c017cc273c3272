#include "platform/sdl/panel_font.h"

#include <fontconfig/fontconfig.h>

#include <cstring>

#include "game/state.h"

namespace tavoren::sdl {

namespace {

bool CoversMessages(FcPattern* font) {
  FcCharSet* charset = nullptr;
  if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch) return false;
  // fontconfig decodes the UTF-8; a text it cannot decode is not covered.
  for (const char* m : msg::kPanelTexts) {
    const auto* p = reinterpret_cast<const FcChar8*>(m);
    for (int left = static_cast<int>(std::strlen(m)); left > 0;) {
      FcChar32 cp = 0;
      const int used = FcUtf8ToUcs4(p, &cp, left);
      if (used <= 0 || !FcCharSetHasChar(charset, cp)) return false;
      p += used;
      left -= used;
    }
  }
  return true;
}

FontFile Describe(FcPattern* font, bool covers) {
  FontFile f;
  FcChar8* file = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
    f.path = reinterpret_cast<const char*>(file);
  }
  int index = 0;
  if (FcPatternGetInteger(font, FC_INDEX, 0, &index) == FcResultMatch) f.index = index;
  FcChar8* family = nullptr;
  if (FcPatternGetString(font, FC_FAMILY, 0, &family) == FcResultMatch && family != nullptr) {
    f.family = reinterpret_cast<const char*>(family);
  }
  f.coversMessages = covers;
  return f;
}

}  // namespace

FontFile FindPanelFont() {
  FontFile best;
  if (!FcInit()) return best;
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return best;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("ＭＳ ゴシック"));
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("MS Gothic"));
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);

  FcResult result = FcResultNoMatch;
  FcFontSet* fonts = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
  if (fonts != nullptr) {
    bool haveFallback = false;
    for (int i = 0; i < fonts->nfont; ++i) {
      FcPattern* font = FcFontRenderPrepare(nullptr, pattern, fonts->fonts[i]);
      if (font == nullptr) continue;
      FcBool scalable = FcFalse;
      if (FcPatternGetBool(font, FC_SCALABLE, 0, &scalable) != FcResultMatch) scalable = FcFalse;
      if (scalable) {
        const bool covers = CoversMessages(font);
        if (covers) {
          best = Describe(font, true);
          FcPatternDestroy(font);
          break;
        }
        if (!haveFallback) {
          best = Describe(font, false);
          haveFallback = !best.path.empty();
        }
      }
      FcPatternDestroy(font);
    }
    FcFontSetDestroy(fonts);
  }
  FcPatternDestroy(pattern);
  return best;
}

}  // namespace tavoren::sdl
