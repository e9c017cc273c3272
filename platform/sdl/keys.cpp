#include "platform/sdl/keys.h"

namespace tavoren::sdl {

// The form tells four keys apart; every other key is none of its business.
std::uint16_t VirtualKeyCode(const SDL_Keysym& key) {
  switch (key.scancode) {
    case SDL_SCANCODE_KP_ENTER: return vk::kReturn;
    // Keypad 7 is Home while Num Lock is off, as on Windows.
    case SDL_SCANCODE_KP_7: return (key.mod & KMOD_NUM) != 0 ? 0 : vk::kHome;
    default: break;
  }
  switch (key.sym) {
    case SDLK_ESCAPE: return vk::kEscape;
    case SDLK_HOME: return vk::kHome;
    case SDLK_BACKSPACE: return vk::kBack;
    case SDLK_RETURN:
    case SDLK_RETURN2: return vk::kReturn;
    default: return 0;
  }
}

TShiftState ShiftStateOf(Uint16 modifiers, Uint32 buttons) {
  TShiftState s = 0;
  if (modifiers & KMOD_SHIFT) s |= ssShift;
  if (modifiers & KMOD_ALT) s |= ssAlt;
  if (modifiers & KMOD_CTRL) s |= ssCtrl;
  if (buttons & SDL_BUTTON_LMASK) s |= ssLeft;
  if (buttons & SDL_BUTTON_RMASK) s |= ssRight;
  if (buttons & SDL_BUTTON_MMASK) s |= ssMiddle;
  return s;
}

}  // namespace tavoren::sdl
