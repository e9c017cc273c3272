#include "platform/sdl/panel_font.h"

#include <fontconfig/fontconfig.h>

#include "game/state.h"

namespace tavoren::sdl {

std::u32string DecodeUtf8(const char* utf8) {
  std::u32string out;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8);
  while (*p != 0) {
    const unsigned char c = *p;
    int extra = 0;
    char32_t cp = 0;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      out.push_back(U'\uFFFD');
      ++p;
      continue;
    }
    ++p;
    bool ok = true;
    for (int i = 0; i < extra; ++i) {
      if ((*p & 0xC0) != 0x80) {  // also stops at the terminating zero
        ok = false;
        break;
      }
      cp = (cp << 6) | (*p & 0x3F);
      ++p;
    }
    out.push_back(ok ? cp : U'\uFFFD');
  }
  return out;
}

namespace {

bool CoversMessages(FcPattern* font) {
  FcCharSet* charset = nullptr;
  if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch) return false;
  for (const char* m : msg::kPanelTexts) {
    for (char32_t cp : DecodeUtf8(m)) {
      if (!FcCharSetHasChar(charset, static_cast<FcChar32>(cp))) return false;
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
