// tavoren-x11-close WINDOW: asks an X11 top-level window to close the way a
// window manager's close box does, by sending it WM_DELETE_WINDOW. WINDOW is
// the window id, decimal or 0x-hex (as xwininfo prints it). Fails when the
// window does not exist or does not take part in the WM_DELETE_WINDOW
// protocol, since no close box could close it then.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

bool g_xError = false;

int OnXError(Display*, XErrorEvent*) {
  g_xError = true;
  return 0;
}

bool TakesDeleteWindow(Display* display, Window window, Atom deleteWindow) {
  Atom* protocols = nullptr;
  int count = 0;
  if (XGetWMProtocols(display, window, &protocols, &count) == 0) return false;
  bool found = false;
  for (int i = 0; i < count; ++i) found = found || protocols[i] == deleteWindow;
  XFree(protocols);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tavoren-x11-close WINDOW\n");
    return 2;
  }
  errno = 0;
  char* end = nullptr;
  const unsigned long id = std::strtoul(argv[1], &end, 0);
  if (errno != 0 || end == argv[1] || *end != '\0' || id == 0) {
    std::fprintf(stderr, "tavoren-x11-close: not a window id: %s\n", argv[1]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "tavoren-x11-close: cannot open the display\n");
    return 1;
  }
  XSetErrorHandler(OnXError);
  const Window window = static_cast<Window>(id);
  const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  if (!TakesDeleteWindow(display, window, deleteWindow) || g_xError) {
    std::fprintf(stderr, "tavoren-x11-close: window %s does not accept WM_DELETE_WINDOW\n",
                 argv[1]);
    XCloseDisplay(display);
    return 1;
  }
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = protocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(deleteWindow);
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  const bool ok = !g_xError;
  XCloseDisplay(display);
  if (!ok) {
    std::fprintf(stderr, "tavoren-x11-close: sending to window %s failed\n", argv[1]);
    return 1;
  }
  return 0;
}
