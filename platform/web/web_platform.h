// The browser platform: the game on a web page, compiled to WebAssembly with
// emscripten.
//
// Supported: the 1016 x 500 client area as one canvas (the framebuffer's
// painted rows copied in with putImageData), the message panel as a line of
// page text over rows 480 to 499 (wrapped, in legible letters, where the
// page is scaled down); keys as Windows virtual-key codes
// (auto-repeat included; Backspace, Enter, Home and Esc keep the browser's
// own meaning away); mouse, pen and touch presses and moves through pointer
// events, captured while a button is held, in client pixels whatever the
// page's scale (one finger plays the left button; a second one is ignored);
// on-screen Enter, Back Space, Home and Esc keys on touch screens, one
// key-down per tap; a repaint when the page becomes visible again; the 40 ms
// cycle timer, kept by the loop itself and asleep while disabled; a clock
// that starts at a different reading on every load; nested message
// processing for the replay pause, which yields to the browser through
// Asyncify so that nested handlers run on the one C++ stack.
//
// The page's listeners (page.js) only queue events; everything the form
// does happens here, in the order a Windows message queue would deliver it.
//
// Not supported: a close box (leaving the page ends the game), key releases,
// text input, the mouse wheel.
#pragma once

namespace tavoren::web {

// Runs the game on the page until Esc ends it. Called once, from main().
void RunGame();

}  // namespace tavoren::web
