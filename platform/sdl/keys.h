// Translation of SDL input to what the form's handlers expect: Windows
// virtual-key codes and the held buttons and modifier keys.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "game/state.h"

namespace tavoren::sdl {

// The virtual-key code of a key press, or 0 for a key that has none here.
// Keypad keys follow Num Lock as on Windows: digits with it on, the
// navigation keys (keypad 7 = Home) with it off.
std::uint16_t VirtualKeyCode(const SDL_Keysym& key);

// Modifier keys from SDL's modifier state, buttons from an SDL button mask.
TShiftState ShiftStateOf(Uint16 modifiers, Uint32 buttons);

}  // namespace tavoren::sdl
