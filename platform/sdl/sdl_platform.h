// The SDL2 platform: the game in a real window.
//
// Supported: one fixed 1016 x 500 window, centred, not resizable, titled
// タヴォレン; the message panel along the bottom, drawn with SDL2_ttf in a
// Japanese gothic font found through fontconfig; presentation of the form's
// framebuffer through the window surface (only the rows a handler painted);
// show, paint, close box, key presses (as Windows virtual-key codes,
// auto-repeat included) and mouse presses and moves with the held buttons,
// captured while a button is held; the 40 ms cycle timer, kept by the event
// loop itself and asleep in the event wait while disabled; the system's
// uptime clock; nested message processing for the replay pause; SIGINT and
// SIGTERM close the window like its close box.
//
// Not supported: resizing, high-DPI scaling, mouse wheel and extra mouse
// buttons, key releases, text input, a system menu of our own (the window
// manager supplies the frame), any command line or setting.
#pragma once

namespace tavoren::sdl {

// Opens the window, runs the game until the window is closed and returns
// the exit status: 0 after a normal close, 1 when no window could be opened.
int RunGame();

}  // namespace tavoren::sdl
