// The SDL layer's pure parts: the key and button translation, and the
// panel font lookup.
#include <gtest/gtest.h>

#include <SDL.h>

#include "game/state.h"
#include "platform/sdl/keys.h"
#include "platform/sdl/panel_font.h"

namespace tavoren::sdl {
namespace {

SDL_Keysym Key(SDL_Keycode sym, SDL_Scancode sc, Uint16 mod = KMOD_NONE) {
  SDL_Keysym k{};
  k.sym = sym;
  k.scancode = sc;
  k.mod = mod;
  return k;
}

TEST(Keys, TheGameKeysGiveTheirVirtualKeyCodes) {
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE)), 27);
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_HOME, SDL_SCANCODE_HOME)), 36);
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE)), 8);
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_RETURN, SDL_SCANCODE_RETURN)), 13);
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER)), 13);
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, KMOD_NUM)), 13);
  // Modifiers do not change the code: Shift+Enter is Enter.
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_RETURN, SDL_SCANCODE_RETURN, KMOD_LSHIFT | KMOD_LCTRL)), 13);
}

// Keypad 7 is Home only with Num Lock off; no other key reaches the form.
TEST(Keys, OnlyTheFormsKeysHaveACode) {
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_KP_7, SDL_SCANCODE_KP_7)), 36);
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_KP_7, SDL_SCANCODE_KP_7, KMOD_NUM)), 0);
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_KP_0, SDL_SCANCODE_KP_0, KMOD_NUM)), 0);
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_a, SDL_SCANCODE_A)), 0);
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_F1, SDL_SCANCODE_F1)), 0);
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_LEFT, SDL_SCANCODE_LEFT)), 0);
  EXPECT_EQ(VirtualKeyCode(Key(SDLK_VOLUMEUP, SDL_SCANCODE_VOLUMEUP)), 0);
}

TEST(Keys, ShiftStateCarriesHeldButtonsAndModifiers) {
  EXPECT_EQ(ShiftStateOf(KMOD_NONE, 0), 0u);
  EXPECT_EQ(ShiftStateOf(KMOD_NONE, SDL_BUTTON_LMASK), static_cast<TShiftState>(ssLeft));
  EXPECT_EQ(ShiftStateOf(KMOD_NONE, SDL_BUTTON_LMASK | SDL_BUTTON_RMASK),
            static_cast<TShiftState>(ssLeft | ssRight));
  EXPECT_EQ(ShiftStateOf(KMOD_NONE, SDL_BUTTON_MMASK), static_cast<TShiftState>(ssMiddle));
  EXPECT_EQ(ShiftStateOf(KMOD_RSHIFT | KMOD_LCTRL | KMOD_RALT, 0),
            static_cast<TShiftState>(ssShift | ssCtrl | ssAlt));
  // Num Lock and Caps Lock are no modifiers of the form.
  EXPECT_EQ(ShiftStateOf(KMOD_NUM | KMOD_CAPS, SDL_BUTTON_X1MASK), 0u);
}

// The game's messages are Japanese: the installed fonts must cover them
// (the Japanese gothic font is a dependency of the game).
TEST(PanelFont, FoundFontCoversTheMessages) {
  const FontFile font = FindPanelFont();
  ASSERT_FALSE(font.path.empty());
  EXPECT_TRUE(font.coversMessages) << font.family << " " << font.path;
}

}  // namespace
}  // namespace tavoren::sdl
