# shellcheck shell=bash
# The game's window as a player meets it, checked the same way for every layer
# that shows one (SDL2 on X11, Win32 under Wine) in a private Xvfb without a
# window manager. Sourced; the sourcing script defines fail, sets window_dir
# (a folder for the game's output and the pictures) and, when it ends, kills
# $game_pid if set.
#
#   open_window COMMAND...  starts the game (in window_dir), waits for its
#                           window at the client area's size and for the
#                           first message; sets game_pid, window_id,
#                           window_geometry, win_x and win_y
#   screenshot, pixel X Y   the client area as raw RGB, one pixel of it
#   poll SECONDS CMD...     CMD every 0.1 s until it succeeds
#   wait_exit SECONDS       the game ends with status 0, its window gone
#   show_game_log           the game's last output, for a failure report
# and the checks, each printing "ok: ..." or failing:
#   check_picture           rail, cloth, pocket, strip, cue ball, panel, text
#   check_drag_outside      a drag that leaves the window still aims
#   check_game_answers      Home racks, a click aims, Enter shoots, BackSpace
#                           restores the table
#   check_esc_ends, check_close_box CLOSE_TOOL   both end it with status 0
# A failed picture is kept as $failed_picture when that is set. The panel is
# painted in the system's button-face colour, $panel_rgb ("R G B"): the
# program's own unless the sourcing script knows the system's.

# The game's title, sizes and colours, as the program describes them
# (tavoren-headless --describe: $TAVOREN_HEADLESS, or the developer build's).
describe_driver=${TAVOREN_HEADLESS:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/tools/driver/tavoren-headless}
game_facts=$("$describe_driver" --describe) || {
  echo "game_window: FAIL: $describe_driver --describe: build the driver (preset default) first" >&2
  exit 1
}
fact() { jq -r "$1" <<<"$game_facts"; }
# fact_rgb FILTER: a colour of the game as "R G B".
fact_rgb() {
  local css
  css=$(fact "$1")
  echo "$((16#${css:1:2})) $((16#${css:3:2})) $((16#${css:5:2}))"
}
title=$(fact .messages.title)
client_w=$(fact .client.width) client_h=$(fact .client.height) panel_top=$(fact .client.panelTop)
readonly title client_w client_h panel_top
# xwininfo and xprop print window names in the locale's encoding; the title is
# UTF-8.
x_locale=$(locale -a 2>/dev/null | grep -i -m1 -E '^(C|en_US)\.utf-?8$' || true)
x_locale=${x_locale:-C.UTF-8}
game_pid=""
window_id=""
panel_rgb=${panel_rgb:-$(fact_rgb .colours.buttonFace)}

# Children get SIGTERM should the test die without running its traps.
pdeath=()
if command -v setpriv >/dev/null 2>&1 && setpriv --pdeathsig TERM true 2>/dev/null; then
  pdeath=(setpriv --pdeathsig TERM --)
fi

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# poll SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds or the
# time is up (measured by the clock, so slow commands don't stretch it).
poll() {
  local limit=$1
  shift
  local deadline=$(($(now_ms) + limit * 1000))
  while :; do
    "$@" && return 0
    [ "$(now_ms)" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

alive() { kill -0 "$1" 2>/dev/null; }
game_ended() { ! alive "$game_pid"; }

show_game_log() {
  if [ -n "$game_pid" ] && [ -s "$window_dir/game.log" ]; then
    echo "--- game output (last 80 lines):"
    tail -n 80 "$window_dir/game.log"
  fi
}

# The top-level window named $title, as xwininfo lists it.
window_line() { LC_ALL=$x_locale xwininfo -root -children 2>/dev/null | grep -F "\"$title\":" | head -n1; }

# Sets window_id and window_geometry from the window of that name, once it
# has the client area's size: it may first appear at another size while the
# layer lays it out.
find_window() {
  alive "$game_pid" || fail "the game ended before its window appeared"
  local line
  line=$(window_line) || return 1
  [ -n "$line" ] || return 1
  window_id=$(awk '{print $1}' <<<"$line")
  window_geometry=$(grep -oE '[0-9]+x[0-9]+[+-][0-9]+[+-][0-9]+' <<<"$line" | head -n1)
  [ "${window_geometry%%[+-]*}" = "${client_w}x$client_h" ]
}

viewable() { xwininfo -id "$window_id" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# Takes a picture of the window's client area as raw RGB in
# $window_dir/shot.rgb (and as PNG in $window_dir/shot.png).
screenshot() {
  import -window "$window_id" "$window_dir/shot.png" 2>/dev/null &&
    convert "$window_dir/shot.png" -depth 8 "rgb:$window_dir/shot.rgb" 2>/dev/null &&
    [ "$(stat -c %s "$window_dir/shot.rgb")" -eq $((client_w * client_h * 3)) ]
}

# pixel X Y: prints "R G B" of the last screenshot.
pixel() {
  od -An -tu1 -v -j $((($2 * client_w + $1) * 3)) -N3 "$window_dir/shot.rgb" | awk '{print $1, $2, $3}'
}

# The number of dark pixels in the panel's text band: the message's glyphs.
panel_ink() {
  convert "$window_dir/shot.png" -crop 1008x16+4+482 +repage -colorspace gray -depth 8 gray:- |
    od -An -tu1 -v | awk '{for (i = 1; i <= NF; i++) if ($i < 96) n++} END {print n + 0}'
}

# The first tick has run once the panel shows its first message.
first_message_shown() {
  screenshot && [ "$(pixel 100 100)" = "0 192 0" ] && [ "$(panel_ink)" -ge 300 ]
}

cue_ball_left_head_spot() {
  screenshot && [ "$(pixel 240 236)" != "255 255 255" ]
}

# open_window COMMAND...: starts the game and waits until it shows its table
# and first message.
open_window() {
  (cd "$window_dir" && exec "${pdeath[@]}" "$@") >"$window_dir/game.log" 2>&1 &
  game_pid=$!
  poll 60 find_window ||
    fail "no ${client_w}x$client_h window titled $title appeared (last seen: $(window_line))"
  poll 30 viewable || fail "window $window_id never became viewable"
  poll 60 first_message_shown || fail "the table and the first message never showed"
  win_x=$(cut -d+ -f2 <<<"$window_geometry")
  win_y=$(cut -d+ -f3 <<<"$window_geometry")
  echo "ok: window $window_id \"$title\" $window_geometry"
}

# wait_exit SECONDS: waits for the game to end; fails unless its status is 0.
wait_exit() {
  poll "$1" game_ended || fail "the game did not end within $1 s"
  local status=0
  wait "$game_pid" || status=$?
  [ "$status" -eq 0 ] || fail "the game ended with status $status"
  game_pid=""
  [ -z "$(window_line)" ] || fail "the window is still there"
}

# --- The checks ---------------------------------------------------------------

# X Y, R G B and what is there, in the table as racked.
table_points=(
  "10 240 $(fact_rgb .colours.rail) rail" "100 100 $(fact_rgb .colours.cloth) cloth"
  "31 31 $(fact_rgb .colours.pocket) pocket" "900 50 $(fact_rgb .colours.strip) control-strip"
  "240 236 $(fact_rgb .colours.white) cue-ball" "240 244 $(fact_rgb .colours.white) cue-ball")
readonly table_points
picture_points() {
  printf '%s\n' "${table_points[@]}" "500 $panel_top $panel_rgb panel" \
    "$((client_w - 6)) $((panel_top + 10)) $panel_rgb panel"
}
whole_picture() {
  screenshot || return 1
  local x y r g b what
  while read -r x y r g b what; do
    [ "$(pixel "$x" "$y")" = "$r $g $b" ] || return 1
  done < <(picture_points)
  [ "$(panel_ink)" -ge 300 ]
}
check_picture() {
  if ! poll 30 whole_picture; then
    [ -z "${failed_picture:-}" ] || cp "$window_dir/shot.png" "$failed_picture" 2>/dev/null || true
    local x y r g b what report=""
    while read -r x y r g b what; do
      report+=" $what ($x,$y) $(pixel "$x" "$y") want $r $g $b;"
    done < <(picture_points)
    fail "picture:$report panel ink $(panel_ink) want 300${failed_picture:+; see $failed_picture}"
  fi
  echo "ok: rail, cloth, pocket, strip, cue ball and panel; panel text drawn ($(panel_ink) dark pixels)"
}

# A drag with the left button that leaves the window keeps aiming: the
# window holds the mouse while the button is down. Pressed at (500,240),
# dragged to (300,100) and then to (-92,180), left of the window, the cue line
# runs from the cue ball through the rail at about (20,200).
aim_line_on_left_rail() {
  screenshot || return 1
  local y
  for y in 198 199 200 201 202; do
    [ "$(pixel 20 "$y")" = "255 0 0" ] && return 0
  done
  return 1
}
check_drag_outside() {
  xdotool mousemove $((win_x + 500)) $((win_y + 240)) mousedown 1 ||
    fail "xdotool could not press the mouse button"
  xdotool mousemove $((win_x + 300)) $((win_y + 100)) || fail "xdotool could not move the mouse"
  xdotool mousemove $((win_x - 92)) $((win_y + 180)) || fail "xdotool could not move the mouse"
  poll 30 aim_line_on_left_rail || fail "a drag outside the window did not aim the cue"
  xdotool mouseup 1 || fail "xdotool could not release the mouse button"
  echo "ok: a drag outside the window aims the cue"
}

# The game still answers its keys and the mouse. The keys go to the server's
# keyboard, as a user's would, with the pointer resting on the window away
# from the table's controls. press_key may be redefined to record each key.
press_key() { xdotool key "$1" || fail "xdotool could not press $1"; }
fresh_rack() {
  screenshot && [ "$(pixel 240 236)" = "255 255 255" ] && [ "$(pixel 240 244)" = "255 255 255" ] &&
    [ "$(pixel 400 240)" = "255 0 0" ] && [ "$(pixel 240 150)" != "255 0 0" ]
}
aim_line_up() { screenshot && [ "$(pixel 240 150)" = "255 0 0" ]; }
settled() {
  cp "$window_dir/shot.rgb" "$window_dir/previous.rgb" 2>/dev/null
  sleep 0.3
  screenshot && cmp -s "$window_dir/shot.rgb" "$window_dir/previous.rgb"
}
same_table() {
  screenshot && cmp -s -n $((client_w * panel_top * 3)) "$window_dir/shot.rgb" "$window_dir/before.rgb"
}
check_game_answers() {
  xdotool mousemove $((win_x + 240)) $((win_y + 440)) || fail "xdotool could not move the mouse"
  # Home racks a new game: the cue ball on the head spot aimed straight at
  # the rack. A click straight above the cue ball then aims up, and a second
  # Home must bring back the break's aim: a Home that did nothing would leave
  # the aim up.
  press_key Home
  poll 30 fresh_rack || fail "Home did not rack a new game"
  xdotool mousemove $((win_x + 240)) $((win_y + 100)) click 1 || fail "xdotool could not click"
  poll 30 aim_line_up || fail "a click straight above the cue ball did not aim up"
  echo "ok: a click on the table aims the cue"
  xdotool mousemove $((win_x + 240)) $((win_y + 440)) || fail "xdotool could not move the mouse"
  press_key Home
  poll 30 fresh_rack || fail "Home did not rack a new game"
  echo "ok: Home racks a new game"
  # Enter shoots: the cue ball leaves the head spot. Enter counts only once
  # the new rack's first cycle has run, so the picture must first hold still;
  # that picture is kept for BackSpace.
  poll 30 settled || fail "the new rack never held still"
  cp "$window_dir/shot.rgb" "$window_dir/before.rgb"
  press_key Return
  poll 30 cue_ball_left_head_spot || fail "Enter did not shoot"
  echo "ok: Enter shoots"
  # BackSpace goes back to the start of the shot, also while the balls still
  # roll: the table (all but the message panel) looks as it did before it.
  sleep 0.3
  press_key BackSpace
  poll 30 same_table || fail "BackSpace did not restore the table as it was before the shot"
  echo "ok: BackSpace restores the table"
}

# Esc, with the press alone: the window is gone before a release could reach
# it. The key is released afterwards in the server, or it would repeat into
# the next game's window.
check_esc_ends() {
  xdotool keydown Escape || fail "xdotool could not press Esc"
  wait_exit 30
  xdotool keyup Escape || fail "xdotool could not release Esc"
  echo "ok: Esc ended the game with status 0"
}

# check_close_box CLOSE_TOOL: a window manager's close box (WM_DELETE_WINDOW,
# sent by tavoren-x11-close) ends the game.
check_close_box() {
  "$1" "$window_id" || fail "could not send WM_DELETE_WINDOW"
  wait_exit 30
  echo "ok: WM_DELETE_WINDOW ended the game with status 0"
}
