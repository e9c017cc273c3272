#!/usr/bin/env bash
# The real game in a real X server: starts a private Xvfb (no window
# manager), runs the game and checks its window (title, size, position), its
# picture, that Enter reaches it and the cycle runs, and that both Esc and a
# close box (WM_DELETE_WINDOW) end it with status 0.
#
# usage: window_test.sh GAME CLOSE_TOOL
#   GAME        the tavoren binary
#   CLOSE_TOOL  tavoren-x11-close, which sends WM_DELETE_WINDOW to a window
# Exit status 0 = passed, 1 = failed, 77 = skipped (a tool is missing).
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 GAME CLOSE_TOOL" >&2
  exit 2
fi
game=$1
close_tool=$2

# shellcheck source=tests/window/x_session.sh
. "$(dirname "$0")/x_session.sh"
skip_unless_tools Xvfb xwininfo xprop xdotool import convert od

# --- No display at all ----------------------------------------------------------

# Without a display the game must say so and fail, not run invisibly.
mkdir -p "$work/no-runtime-dir"
env -u DISPLAY -u SDL_VIDEODRIVER XDG_RUNTIME_DIR="$work/no-runtime-dir" \
  timeout 30 "$game" >"$work/no-display.log" 2>&1
status=$?
[ "$status" -eq 124 ] && fail "without a display the game kept running"
[ "$status" -ne 0 ] || fail "without a display the game reported success"
grep -q "no display" "$work/no-display.log" ||
  fail "without a display the game did not say why: $(cat "$work/no-display.log")"
echo "ok: without a display the game fails with status $status"

# --- The X server -----------------------------------------------------------

start_session_xvfb

# --- Helpers on the game's window --------------------------------------------

expect_pixel() {
  local x=$1 y=$2 want=$3 what=$4 got
  got=$(pixel "$x" "$y")
  [ "$got" = "$want" ] || fail "$what at ($x,$y): want RGB($want), got RGB($got)"
  echo "ok: $what at ($x,$y) is RGB($got)"
}

# --- Run 1: window, picture, Enter, Esc ---------------------------------------

open_window
echo "ok: window $window_id \"$title\" $window_geometry"
want_geometry="1016x500+$(((screen_w - 1016) / 2))+$(((screen_h - 500) / 2))"
[ "$window_geometry" = "$want_geometry" ] ||
  fail "window geometry: want $want_geometry (1016x500 client area, centred), got $window_geometry"
# The game's icon for task bars, and the title also in the legacy WM_NAME,
# which window managers that know no UTF-8 read: COMPOUND_TEXT for katakana.
# (The window may be listed before the game has set them and shown it.)
has_icon() { [[ $(LC_ALL=C.UTF-8 xprop -id "$window_id" _NET_WM_ICON) == *'Icon (64 x 64)'* ]]; }
legacy_name() { LC_ALL=C.UTF-8 xprop -id "$window_id" WM_NAME; }
want_name="WM_NAME(COMPOUND_TEXT) = \"$title\""
for _ in $(seq 50); do
  has_icon && [ "$(legacy_name)" = "$want_name" ] && break
  sleep 0.1
done
has_icon || fail "the window has no 64 x 64 icon (_NET_WM_ICON)"
[ "$(legacy_name)" = "$want_name" ] || fail "legacy title: $(legacy_name)"
echo "ok: the window's icon is 64 x 64, its WM_NAME is COMPOUND_TEXT \"$title\""

expect_pixel 10 240 "112 32 0" "rail"
expect_pixel 100 100 "0 192 0" "cloth"
expect_pixel 31 31 "0 0 0" "pocket"
expect_pixel 900 50 "0 0 255" "control strip"
expect_pixel 240 236 "255 255 255" "cue ball"
expect_pixel 240 244 "255 255 255" "cue ball"
expect_pixel 500 480 "240 240 240" "panel background"
expect_pixel 1010 490 "240 240 240" "panel background"
echo "ok: panel text drawn ($(panel_ink) dark pixels)"

# A drag with the left button that leaves the window keeps aiming: the
# window holds the mouse while the button is down. Pressed at (500,240),
# dragged to (300,100) and then to (-92,180), left of the window, the cue line
# runs from the cue ball through the rail at about (20,200).
win_x=$(((screen_w - 1016) / 2))
win_y=$(((screen_h - 500) / 2))
aim_line_on_left_rail() {
  screenshot || return 1
  local y
  for y in 198 199 200 201 202; do
    [ "$(pixel 20 "$y")" = "255 0 0" ] && return 0
  done
  return 1
}
xdotool mousemove $((win_x + 500)) $((win_y + 240)) mousedown 1 ||
  fail "xdotool could not press the mouse button"
xdotool mousemove $((win_x + 300)) $((win_y + 100)) || fail "xdotool could not move the mouse"
xdotool mousemove $((win_x - 92)) $((win_y + 180)) || fail "xdotool could not move the mouse"
poll 30 aim_line_on_left_rail || fail "a drag outside the window did not aim the cue"
xdotool mouseup 1 || fail "xdotool could not release the mouse button"
echo "ok: a drag outside the window aims the cue"

# Enter fires the shot: the cue ball leaves the head spot as the cycle runs.
xdotool key --window "$window_id" Return || fail "xdotool could not send Enter"
poll 30 cue_ball_left_head_spot || fail "Enter did not fire the shot"
echo "ok: Enter fired the shot"

# Esc, in the middle of the moving shot. Only the press is sent: the window
# is gone before a release could reach it. xdotool may have pressed the key
# in the server itself (it does for the window that has the focus), so the
# key is released afterwards: a key left down repeats, and the next game's
# window would get those presses as soon as it has the focus.
xdotool keydown --window "$window_id" Escape || fail "xdotool could not send Esc"
wait_exit 30
xdotool keyup Escape || fail "xdotool could not release Esc"
echo "ok: Esc ended the game with status 0"

# --- Run 2: the close box -----------------------------------------------------

open_window

# Hidden and shown again (as when minimised and restored), the window is
# repainted as it was: the aim set with a click straight above the cue ball
# stays, so the show did not rack a new game.
aim_line_up() { screenshot && [ "$(pixel 240 150)" = "255 0 0" ]; }
xdotool mousemove $((win_x + 240)) $((win_y + 100)) click 1 || fail "xdotool could not click"
poll 30 aim_line_up || fail "a click on the table did not aim the cue"
cp "$work/shot.rgb" "$work/before.rgb"
xdotool windowunmap --sync "$window_id" || fail "could not hide the window"
xdotool windowmap --sync "$window_id" || fail "could not show the window again"
same_picture() { screenshot && cmp -s "$work/shot.rgb" "$work/before.rgb"; }
poll 30 same_picture || fail "after hiding and showing, the window does not show the same picture"
echo "ok: hidden and shown again, the window repaints the same game"

"$close_tool" "$window_id" || fail "could not send WM_DELETE_WINDOW"
wait_exit 30
echo "ok: WM_DELETE_WINDOW ended the game with status 0"

echo "PASS"
