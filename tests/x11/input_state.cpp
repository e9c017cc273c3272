// tavoren-x11-input [--grabs]: prints what the X server's keyboard and
// pointer are doing, for a test to record when keys stop reaching a window:
//   focus      the window that has the keyboard focus (PointerRoot, None or
//              an id with its name) and where the focus reverts to
//   pointer    root position, the top-level window under it, buttons held
//   keyboard   XKB modifier state (effective, locked, latched), group
//   controls   the XKB accessibility controls that change how keys are taken
//              (SlowKeys, BounceKeys, StickyKeys, MouseKeys, ...)
//   down       the keys the server holds down
// With --grabs it also tries to grab the keyboard and the pointer on the root
// window and releases them at once, to tell whether some client holds them.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string WindowName(Display* display, Window window) {
  if (window == None) return "None";
  if (window == PointerRoot) return "PointerRoot";
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%lx", window);
  std::string text = buf;
  if (window == DefaultRootWindow(display)) return text + " (root)";
  XTextProperty name{};
  if (XGetWMName(display, window, &name) != 0 && name.value != nullptr) {
    text += " \"";
    text.append(reinterpret_cast<const char*>(name.value), name.nitems);
    text += "\"";
    XFree(name.value);
  }
  return text;
}

const char* RevertName(int revert) {
  switch (revert) {
    case RevertToNone: return "None";
    case RevertToPointerRoot: return "PointerRoot";
    case RevertToParent: return "Parent";
    default: return "?";
  }
}

const char* GrabResult(int status) {
  switch (status) {
    case GrabSuccess: return "free";
    case AlreadyGrabbed: return "held by another client";
    case GrabFrozen: return "frozen";
    case GrabNotViewable: return "not viewable";
    case GrabInvalidTime: return "invalid time";
    default: return "?";
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool grabs = argc == 2 && std::strcmp(argv[1], "--grabs") == 0;
  if (argc > 2 || (argc == 2 && !grabs)) {
    std::fprintf(stderr, "usage: tavoren-x11-input [--grabs]\n");
    return 2;
  }
  int xkbEvent = 0, xkbError = 0, major = XkbMajorVersion, minor = XkbMinorVersion, reason = 0;
  Display* display = XkbOpenDisplay(nullptr, &xkbEvent, &xkbError, &major, &minor, &reason);
  if (display == nullptr) {
    std::fprintf(stderr, "tavoren-x11-input: cannot open the display (XKB reason %d)\n", reason);
    return 1;
  }
  const Window root = DefaultRootWindow(display);

  Window focus = None;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  std::printf("focus: %s, reverts to %s\n", WindowName(display, focus).c_str(), RevertName(revert));

  Window rootReturn = None, child = None;
  int rootX = 0, rootY = 0, winX = 0, winY = 0;
  unsigned int mask = 0;
  XQueryPointer(display, root, &rootReturn, &child, &rootX, &rootY, &winX, &winY, &mask);
  std::printf("pointer: %d,%d over %s, buttons", rootX, rootY,
              child == None ? "the root window" : WindowName(display, child).c_str());
  const unsigned int buttonMasks[] = {Button1Mask, Button2Mask, Button3Mask, Button4Mask,
                                      Button5Mask};
  bool anyButton = false;
  for (int b = 0; b < 5; ++b) {
    if ((mask & buttonMasks[b]) != 0) {
      std::printf(" %d", b + 1);
      anyButton = true;
    }
  }
  std::printf("%s\n", anyButton ? "" : " none");

  XkbStateRec state{};
  if (XkbGetState(display, XkbUseCoreKbd, &state) == Success) {
    std::printf("keyboard: mods 0x%02x (base 0x%02x, latched 0x%02x, locked 0x%02x), group %d\n",
                state.mods, state.base_mods, state.latched_mods, state.locked_mods, state.group);
  }

  XkbDescPtr desc = XkbGetMap(display, 0, XkbUseCoreKbd);
  if (desc != nullptr && XkbGetControls(display, XkbAllControlsMask, desc) == Success) {
    const unsigned int on = desc->ctrls->enabled_ctrls;
    struct Named {
      unsigned int bit;
      const char* name;
    };
    const Named controls[] = {
        {XkbSlowKeysMask, "SlowKeys"},       {XkbBounceKeysMask, "BounceKeys"},
        {XkbStickyKeysMask, "StickyKeys"},   {XkbMouseKeysMask, "MouseKeys"},
        {XkbAccessXKeysMask, "AccessXKeys"}, {XkbRepeatKeysMask, "RepeatKeys"},
    };
    std::printf("controls:");
    for (const Named& c : controls) std::printf(" %s=%s", c.name, (on & c.bit) != 0 ? "on" : "off");
    std::printf("\n");
  }
  if (desc != nullptr) XkbFreeKeyboard(desc, 0, True);

  char keys[32];
  XQueryKeymap(display, keys);
  std::printf("down:");
  bool anyKey = false;
  for (int code = 8; code < 256; ++code) {
    if ((keys[code / 8] & (1 << (code % 8))) == 0) continue;
    const KeySym sym = XkbKeycodeToKeysym(display, static_cast<KeyCode>(code), 0, 0);
    const char* name = sym == NoSymbol ? nullptr : XKeysymToString(sym);
    std::printf(" %s(%d)", name != nullptr ? name : "?", code);
    anyKey = true;
  }
  std::printf("%s\n", anyKey ? "" : " none");

  if (grabs) {
    const int keyboard =
        XGrabKeyboard(display, root, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (keyboard == GrabSuccess) XUngrabKeyboard(display, CurrentTime);
    const int pointer = XGrabPointer(display, root, False, 0, GrabModeAsync, GrabModeAsync, None,
                                     None, CurrentTime);
    if (pointer == GrabSuccess) XUngrabPointer(display, CurrentTime);
    std::printf("grabs: keyboard %s, pointer %s\n", GrabResult(keyboard), GrabResult(pointer));
  }
  XCloseDisplay(display);
  return 0;
}
