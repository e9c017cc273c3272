#!/usr/bin/env bash
# The real SDL game in a real X server: starts a private Xvfb (no window
# manager), runs the game and checks its window the way every layer's window
# is checked (tests/lib/game_window.sh: title, size, picture, a drag out of
# the window, Home, a click, Enter and BackSpace, Esc and a close box), and
# what only the SDL layer has: the window centred on the screen, its icon and
# legacy title, a repaint after being hidden and shown, and a failure without
# a display.
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
game=$(realpath "$1")
close_tool=$(realpath "$2")

# shellcheck source=tests/window/x_session.sh
. "$(dirname "$0")/x_session.sh"
skip_unless_tools Xvfb xwininfo xprop xdotool import convert od cmp

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

# --- Run 1: the window, its picture, the mouse and the keys, Esc -------------

open_window "$game"
want_geometry="${client_w}x$client_h+$(((screen_w - client_w) / 2))+$(((screen_h - client_h) / 2))"
[ "$window_geometry" = "$want_geometry" ] ||
  fail "window geometry: want $want_geometry (client area, centred), got $window_geometry"
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
echo "ok: centred; the window's icon is 64 x 64, its WM_NAME is COMPOUND_TEXT \"$title\""

check_picture
check_drag_outside
check_game_answers
check_esc_ends

# --- Run 2: hidden and shown, the close box -----------------------------------

open_window "$game"

# Hidden and shown again (as when minimised and restored), the window is
# repainted as it was: the aim set with a click straight above the cue ball
# stays, so the show did not rack a new game.
xdotool mousemove $((win_x + 240)) $((win_y + 100)) click 1 || fail "xdotool could not click"
poll 30 aim_line_up || fail "a click on the table did not aim the cue"
cp "$work/shot.rgb" "$work/before.rgb"
xdotool windowunmap --sync "$window_id" || fail "could not hide the window"
xdotool windowmap --sync "$window_id" || fail "could not show the window again"
same_picture() { screenshot && cmp -s "$work/shot.rgb" "$work/before.rgb"; }
poll 30 same_picture || fail "after hiding and showing, the window does not show the same picture"
echo "ok: hidden and shown again, the window repaints the same game"

check_close_box "$close_tool"

echo "PASS"
