// Translation of SDL input to what the form's handlers expect: Windows
// virtual-key codes and the held buttons and modifier keys.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "game/state.h"

namespace tavoren::sdl {

// The virtual-key code of a key the form tells apart (Esc, Home, Backspace,
// Enter, the keypad's Enter and, with Num Lock off, its Home), or 0 for any
// other key, which the layer does not pass on.
std::uint16_t VirtualKeyCode(const SDL_Keysym& key);

// Modifier keys from SDL's modifier state, buttons from an SDL button mask.
TShiftState ShiftStateOf(Uint16 modifiers, Uint32 buttons);

}  // namespace tavoren::sdl
