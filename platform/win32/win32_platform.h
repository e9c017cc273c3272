// The Win32 platform: the game's one window on Windows, with the wide
// character API of user32, gdi32 and winmm and nothing else.
//
// Supported: the fixed 1016 x 500 client area (caption, system menu and
// minimise box; no maximise, no resizing), centred on the screen; the message
// panel as a child window in the button-face colour with its own Japanese
// font; the 40 ms cycle timer (SetTimer) with the timer resolution raised to
// 1 ms while the window exists; timeGetTime as the clock; keys (WM_KEYDOWN and
// WM_SYSKEYDOWN, virtual-key codes as they are), the left, right and middle
// mouse buttons with the mouse captured while one is held; the close box, the
// system menu and Alt+F4; nested message processing for the replay pause.
//
// The form paints into its framebuffer; after every handler that painted,
// the changed rows are presented with StretchDIBits, converted from the
// form's 0x00BBGGRR pixels to the 0x00RRGGBB of a 32-bit DIB. WM_PAINT runs
// FormPaint and presents the whole table.
//
// Not supported: high-DPI awareness (Windows scales the window as a whole),
// keyboard focus inside the window (there is nothing focusable but the window).
#pragma once

namespace tavoren::win32 {

// Creates the window, shows it as showCommand (wWinMain's) says and runs the
// game until the window is closed. Returns the exit status: 0 after a normal
// close, 1 when Windows refused the window.
int RunGame(int showCommand);

}  // namespace tavoren::win32
