# Shell helpers shared by the tests that run the real SDL game under a private
# Xvfb (no window manager). Sourced, not run; the caller sets $game and may
# set $screen_w / $screen_h before calling start_session_xvfb.
#
#   skip_unless_tools TOOL...  exits 77 (skipped) when one is missing
#   start_session_xvfb      a private X server on a free display, of the
#                           screen size asked for; sets DISPLAY
#   open_window "$game", the pictures and the checks of the window:
#                           tests/lib/game_window.sh, in the folder $work
#   fail MESSAGE            prints the message (and the game's output), exits 1
# A caller may define on_fail, run by fail before the game is killed.

# shellcheck source=tests/lib/game_window.sh
. "$(dirname "${BASH_SOURCE[0]}")/../lib/game_window.sh"
# shellcheck source=tests/lib/xvfb.sh
. "$(dirname "${BASH_SOURCE[0]}")/../lib/xvfb.sh"

export LC_ALL=$x_locale
unset WAYLAND_DISPLAY
export SDL_VIDEODRIVER=x11

: "${screen_w:=1280}" "${screen_h:=1024}"

work=$(mktemp -d "${TMPDIR:-/tmp}/tavoren-window.XXXXXX") || exit 1
window_dir=$work
xvfb_pid=""

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
  show_game_log >&2
  exit 1
}

start_session_xvfb() {
  start_xvfb "$work" "${screen_w}x${screen_h}"
  echo "Xvfb on $DISPLAY"
}
