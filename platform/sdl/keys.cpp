#include "platform/sdl/keys.h"

namespace tavoren::sdl {

namespace {

std::uint16_t KeypadKey(SDL_Scancode sc, bool numLock) {
  switch (sc) {
    case SDL_SCANCODE_KP_ENTER: return vk::kReturn;
    case SDL_SCANCODE_KP_MULTIPLY: return 0x6A;
    case SDL_SCANCODE_KP_PLUS: return 0x6B;
    case SDL_SCANCODE_KP_MINUS: return 0x6D;
    case SDL_SCANCODE_KP_DIVIDE: return 0x6F;
    default: break;
  }
  if (numLock) {
    switch (sc) {
      case SDL_SCANCODE_KP_0: return 0x60;
      case SDL_SCANCODE_KP_1: return 0x61;
      case SDL_SCANCODE_KP_2: return 0x62;
      case SDL_SCANCODE_KP_3: return 0x63;
      case SDL_SCANCODE_KP_4: return 0x64;
      case SDL_SCANCODE_KP_5: return 0x65;
      case SDL_SCANCODE_KP_6: return 0x66;
      case SDL_SCANCODE_KP_7: return 0x67;
      case SDL_SCANCODE_KP_8: return 0x68;
      case SDL_SCANCODE_KP_9: return 0x69;
      case SDL_SCANCODE_KP_PERIOD: return 0x6E;
      default: return 0;
    }
  }
  switch (sc) {
    case SDL_SCANCODE_KP_0: return 45;  // Insert
    case SDL_SCANCODE_KP_1: return 35;  // End
    case SDL_SCANCODE_KP_2: return 40;  // Down
    case SDL_SCANCODE_KP_3: return 34;  // Page Down
    case SDL_SCANCODE_KP_4: return 37;  // Left
    case SDL_SCANCODE_KP_5: return 12;  // Clear
    case SDL_SCANCODE_KP_6: return 39;  // Right
    case SDL_SCANCODE_KP_7: return vk::kHome;
    case SDL_SCANCODE_KP_8: return 38;  // Up
    case SDL_SCANCODE_KP_9: return 33;  // Page Up
    case SDL_SCANCODE_KP_PERIOD: return 46;  // Delete
    default: return 0;
  }
}

}  // namespace

std::uint16_t VirtualKeyCode(const SDL_Keysym& key) {
  const SDL_Scancode sc = key.scancode;
  if (sc >= SDL_SCANCODE_KP_DIVIDE && sc <= SDL_SCANCODE_KP_PERIOD) {
    return KeypadKey(sc, (key.mod & KMOD_NUM) != 0);
  }
  const SDL_Keycode sym = key.sym;
  if (sym >= SDLK_a && sym <= SDLK_z) return static_cast<std::uint16_t>('A' + (sym - SDLK_a));
  if (sym >= SDLK_0 && sym <= SDLK_9) return static_cast<std::uint16_t>('0' + (sym - SDLK_0));
  if (sym >= SDLK_F1 && sym <= SDLK_F12) return static_cast<std::uint16_t>(0x70 + (sym - SDLK_F1));
  if (sym >= SDLK_F13 && sym <= SDLK_F24) return static_cast<std::uint16_t>(0x7C + (sym - SDLK_F13));
  switch (sym) {
    case SDLK_BACKSPACE: return vk::kBack;
    case SDLK_TAB: return 9;
    case SDLK_RETURN:
    case SDLK_RETURN2: return vk::kReturn;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return 16;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return 17;
    case SDLK_LALT:
    case SDLK_RALT: return 18;
    case SDLK_PAUSE: return 19;
    case SDLK_CAPSLOCK: return 20;
    case SDLK_ESCAPE: return vk::kEscape;
    case SDLK_SPACE: return 32;
    case SDLK_PAGEUP: return 33;
    case SDLK_PAGEDOWN: return 34;
    case SDLK_END: return 35;
    case SDLK_HOME: return vk::kHome;
    case SDLK_LEFT: return 37;
    case SDLK_UP: return 38;
    case SDLK_RIGHT: return 39;
    case SDLK_DOWN: return 40;
    case SDLK_PRINTSCREEN: return 44;
    case SDLK_INSERT: return 45;
    case SDLK_DELETE: return 46;
    case SDLK_LGUI: return 91;
    case SDLK_RGUI: return 92;
    case SDLK_APPLICATION: return 93;
    case SDLK_NUMLOCKCLEAR: return 144;
    case SDLK_SCROLLLOCK: return 145;
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
