# shellcheck shell=bash
# Helpers for the checks that run Windows programs under Wine, sourced by
# tests/windows/run.sh and tests/packages/run.sh. The sourcing script
# has sourced suite.sh (for fail), keeps its temporary folder in $tmp and
# cleans up with `trap wine_cleanup EXIT`.

# start_xvfb DIR: the private X server (tests/lib/xvfb.sh); Wine's
# desktop process keeps the display of the process that started it.
# shellcheck source=tests/lib/xvfb.sh
. "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"
# open_window, the checks of the window, show_game_log
# shellcheck source=tests/lib/game_window.sh
. "$(dirname "${BASH_SOURCE[0]}")/game_window.sh"
# A failure shows what the game said.
on_fail() { show_game_log; }

# wine_cleanup: the EXIT trap. Ends the game ($game_pid), every Wine process
# of the private prefix (the program, explorer, services; when $wine_up is
# set) and the X server ($xvfb_pid), removes $tmp, and keeps the exit status.
wine_cleanup() {
  local status=$?
  set +e
  if [ -n "${game_pid:-}" ] && kill -0 "$game_pid" 2>/dev/null; then kill "$game_pid" 2>/dev/null; fi
  if [ -n "${wine_up:-}" ]; then wineserver -k >/dev/null 2>&1; fi
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$tmp"
  exit "$status"
}

# use_wine_prefix PREFIX LOG: a private 64-bit Wine prefix, created on first
# use (wineboot, about 12 s); sets wine_up for the cleanup.
use_wine_prefix() {
  export WINEPREFIX=$1
  export WINEARCH=win64
  export WINEDEBUG=-all
  # No Mono or Gecko installation prompts: nothing here needs them. No
  # winemenubuilder either: it would copy the Start-menu shortcuts that the
  # installer makes into this machine's menus and icons under $HOME.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # shellcheck disable=SC2034 # read by the sourcing script's cleanup
  wine_up=1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "   creating $WINEPREFIX (slow the first time)"
    timeout 300 wineboot --init >"$2" 2>&1 || { cat "$2"; fail "wineboot"; }
  fi
}

# check_game_window EXE DIR CLOSE_TOOL [FAILED_PNG]: starts the game EXE
# under Wine (in DIR, which also takes its output and pictures; a failed
# picture is kept as FAILED_PNG) and checks its window as every layer's window
# is checked (tests/lib/game_window.sh): a window titled タヴォレン with the
# client area's size, its picture, a drag out of the window, Home, a click,
# Enter and BackSpace, then Esc and, in a second run, a close box
# (CLOSE_TOOL, tavoren-x11-close), each of which ends the program with status
# 0 and takes the window away. Needs xwininfo, xdotool and ImageMagick.
check_game_window() {
  window_dir=$2
  # The panel's background is the system's button face, which is Wine's to
  # choose (its default theme has 245 245 245).
  panel_rgb=$(wine reg query 'HKCU\Control Panel\Colors' /v ButtonFace 2>/dev/null |
    awk '$1 == "ButtonFace" {print $3, $4, $5}' | tr -d '\r')
  [[ $panel_rgb =~ ^[0-9]+\ [0-9]+\ [0-9]+$ ]] || fail "Wine's button-face colour is unknown: '$panel_rgb'"
  failed_picture=${4:-}
  open_window wine "$1"
  check_picture
  check_drag_outside
  check_game_answers
  check_esc_ends
  open_window wine "$1"
  check_close_box "$3"
}
