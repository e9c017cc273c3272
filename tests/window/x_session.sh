# Shell helpers shared by the tests that run the real game under a private
# Xvfb (no window manager). Sourced, not run; the caller sets $game and may
# set $screen_w / $screen_h before calling start_session_xvfb.
#
#   skip_unless_tools TOOL...  exits 77 (skipped) when one is missing
#   start_session_xvfb      a private X server on a free display, of the
#                           screen size asked for; sets DISPLAY
#   open_window             starts the game, waits for its window and first
#                           message; sets game_pid, window_id, window_geometry
#   screenshot, pixel X Y   the window's client area, as raw RGB
#   wait_exit SECONDS       the game ends with status 0 and its window is gone
#   poll SECONDS CMD...     CMD every 0.1 s until it succeeds
#   fail MESSAGE            prints the message (and the game's output), exits 1
# A caller may define on_fail, run by fail before the game is killed.

# xwininfo prints window names in the locale's encoding; the title is UTF-8.
utf8_locale=$(locale -a 2>/dev/null | grep -i -m1 -E '^(C|en_US)\.utf-?8$' || true)
export LC_ALL=${utf8_locale:-C.UTF-8}
unset WAYLAND_DISPLAY
export SDL_VIDEODRIVER=x11

: "${screen_w:=1280}" "${screen_h:=1024}"
readonly title="タヴォレン"
readonly client_w=1016 client_h=500

work=$(mktemp -d "${TMPDIR:-/tmp}/tavoren-window.XXXXXX") || exit 1
xvfb_pid=""
game_pid=""
window_id=""

cleanup() {
  if [ -n "$game_pid" ]; then kill "$game_pid" 2>/dev/null; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; fi
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

skip_unless_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "SKIP: $tool is not installed"
      exit 77
    fi
  done
}

fail() {
  echo "FAIL: $*" >&2
  if declare -F on_fail >/dev/null; then on_fail >&2; fi
  if [ -n "$game_pid" ] && [ -s "$work/game.log" ]; then
    echo "--- game output (last 80 lines):" >&2
    tail -n 80 "$work/game.log" >&2
  fi
  exit 1
}

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

# --- The X server -----------------------------------------------------------

# shellcheck source=tests/lib/xvfb.sh
. "$(dirname "${BASH_SOURCE[0]}")/../lib/xvfb.sh"

start_session_xvfb() {
  start_xvfb "$work" "${screen_w}x${screen_h}"
  echo "Xvfb on $DISPLAY"
}

# --- The game's window --------------------------------------------------------

start_game() {
  "${pdeath[@]}" "$game" >"$work/game.log" 2>&1 &
  game_pid=$!
}

# Sets window_id and window_geometry from the top-level window named $title.
find_window() {
  alive "$game_pid" || fail "the game ended before its window appeared"
  local line
  line=$(xwininfo -root -children 2>/dev/null | grep -F "\"$title\":" | head -n1) || return 1
  [ -n "$line" ] || return 1
  window_id=$(awk '{print $1}' <<<"$line")
  window_geometry=$(grep -oE '[0-9]+x[0-9]+[+-][0-9]+[+-][0-9]+' <<<"$line" | head -n1)
  [ -n "$window_id" ]
}

viewable() { xwininfo -id "$window_id" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# Takes a picture of the window's client area as raw RGB in $work/shot.rgb
# (and as PNG in $work/shot.png).
screenshot() {
  import -window "$window_id" "$work/shot.png" 2>/dev/null &&
    convert "$work/shot.png" -depth 8 "rgb:$work/shot.rgb" 2>/dev/null &&
    [ "$(stat -c %s "$work/shot.rgb")" -eq $((client_w * client_h * 3)) ]
}

# pixel X Y: prints "R G B" of the last screenshot.
pixel() {
  od -An -tu1 -v -j $((($2 * client_w + $1) * 3)) -N3 "$work/shot.rgb" | awk '{print $1, $2, $3}'
}

# The number of dark pixels in the panel's text band: the message's glyphs.
panel_ink() {
  convert "$work/shot.png" -crop 1008x16+4+482 +repage -colorspace gray -depth 8 gray:- |
    od -An -tu1 -v | awk '{for (i = 1; i <= NF; i++) if ($i < 96) n++} END {print n + 0}'
}

# The first tick has run once the panel shows its first message.
first_message_shown() {
  screenshot && [ "$(pixel 100 100)" = "0 192 0" ] && [ "$(panel_ink)" -ge 300 ]
}

cue_ball_left_head_spot() {
  screenshot && [ "$(pixel 240 236)" != "255 255 255" ]
}

# wait_exit SECONDS: waits for the game to end; fails unless its status is 0.
wait_exit() {
  poll "$1" game_ended || fail "the game did not end within $1 s"
  local status=0
  wait "$game_pid" || status=$?
  [ "$status" -eq 0 ] || fail "the game ended with status $status"
  game_pid=""
  xwininfo -root -children 2>/dev/null | grep -qF "\"$title\":" && fail "the window is still there"
  return 0
}

open_window() {
  start_game
  poll 60 find_window || fail "no window titled $title appeared"
  poll 30 viewable || fail "window $window_id never became viewable"
  poll 60 first_message_shown || fail "the table and the first message never showed"
}
