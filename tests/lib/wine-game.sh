# shellcheck shell=bash
# Helpers for the checks that run Windows programs under Wine, sourced by
# tests/windows/run.sh and tests/packages/run.sh. The sourcing script
# has sourced suite.sh (for fail) and cleans up in an
# EXIT trap: it kills $app_pid if set, runs `wineserver -k` if $wine_up is
# set, and kills $xvfb_pid if set.

# start_xvfb DIR: the private X server (tests/lib/xvfb.sh); Wine's
# desktop process keeps the display of the process that started it.
# shellcheck source=tests/lib/xvfb.sh
. "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"

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

# check_game_window EXE DIR [FAILED_PNG]: starts the game EXE under Wine (in
# DIR, which also takes its log and pictures; a failed picture is kept as
# FAILED_PNG) and checks it as a player sees it: a
# window titled タヴォレン with a 1016 x 500 client area, the table, the
# strip and a message in the panel, a left-button drag that draws the cue
# line, and Esc, which ends the program with status 0 and takes the window
# away. Needs xwininfo, xdotool and ImageMagick's import and convert.
check_game_window() {
  local exe=$1 dir=$2 failed_png=${3:-}
  local title="タヴォレン"
  local line="" window="" size="" ok="" _
  # Without a window manager Wine's top-level X windows carry the title; it
  # is UTF-8, which xwininfo prints only in a UTF-8 locale.
  find_window() { LC_ALL=C.UTF-8 xwininfo -root -children 2>/dev/null | grep -F "\"$title\"" | head -n1 || true; }
  # The colour of one pixel of a screenshot as #RRGGBB.
  pixel() {
    convert "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- 2>/dev/null |
      grep -o '#[0-9A-Fa-f]\{6\}' | head -n1 | tr 'a-f' 'A-F'
  }
  # Dark (text) pixels in the message panel, rows 480 to 499.
  panel_ink() {
    convert "$1" -crop 1016x20+0+480 +repage -colorspace Gray -threshold 50% -negate \
      -format '%[fx:round(mean*w*h)]' info: 2>/dev/null
  }

  (cd "$dir" && exec wine "$exe") >"$dir/tavoren.log" 2>&1 &
  app_pid=$!
  for _ in $(seq 1 600); do
    line=$(find_window)
    [ -n "$line" ] && break
    kill -0 "$app_pid" 2>/dev/null || { cat "$dir/tavoren.log"; fail "$exe ended before its window showed"; }
    sleep 0.1
  done
  [ -n "$line" ] || fail "no window titled $title within 60 s"
  # The X window may first appear at another size while Wine lays it out:
  # give it a few seconds to settle on its final geometry.
  for _ in $(seq 1 100); do
    window=$(awk '{print $1}' <<<"$line")
    size=$(grep -o ' [0-9]*x[0-9]*+' <<<"$line" | head -n1 | tr -d ' +')
    [ "$size" = 1016x500 ] && break
    sleep 0.1
    line=$(find_window)
    [ -n "$line" ] || line="(gone) 0x0+"
  done
  echo "   window $window \"$title\", client area $size"
  [ "$size" = 1016x500 ] || fail "client area is $size, not 1016x500"

  # The first picture, and the first tick's message in the panel.
  local shot=$dir/shot.png
  for _ in $(seq 1 100); do
    import -window "$window" "$shot" 2>/dev/null || true
    if [ -f "$shot" ] && [ "$(pixel "$shot" 10 240)" = "#702000" ] &&
      [ "$(pixel "$shot" 100 100)" = "#00C000" ] && [ "$(pixel "$shot" 900 50)" = "#0000FF" ] &&
      [ "$(panel_ink "$shot")" -gt 200 ]; then
      ok=1
      break
    fi
    sleep 0.1
  done
  if [ -z "$ok" ]; then
    [ -z "$failed_png" ] || cp "$shot" "$failed_png" 2>/dev/null || true
    fail "picture: rail $(pixel "$shot" 10 240) (want #702000), cloth $(pixel "$shot" 100 100) (want #00C000)," \
      "strip $(pixel "$shot" 900 50) (want #0000FF), panel ink $(panel_ink "$shot")${failed_png:+; see $failed_png}"
  fi
  echo "   rail $(pixel "$shot" 10 240), cloth $(pixel "$shot" 100 100), strip $(pixel "$shot" 900 50)," \
    "text in the panel"

  # Aim straight up from the cue ball with the left button: the red cue line.
  [ "$(pixel "$shot" 240 170)" = "#00C000" ] || fail "no cloth above the cue ball before aiming"
  xdotool mousemove --window "$window" 240 100 mousedown 1 sleep 0.1 mousemove --window "$window" 240 101 \
    sleep 0.1 mouseup 1 2>/dev/null
  ok=""
  for _ in $(seq 1 50); do
    import -window "$window" "$shot" 2>/dev/null || true
    if [ "$(pixel "$shot" 240 170)" = "#FF0000" ]; then
      ok=1
      break
    fi
    sleep 0.1
  done
  [ -n "$ok" ] || fail "the drag drew no cue line: $(pixel "$shot" 240 170) at (240, 170)"
  echo "   a left-button drag draws the cue line"

  # Esc ends the program.
  xdotool key --window "$window" Escape 2>/dev/null
  for _ in $(seq 1 200); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$app_pid" 2>/dev/null; then fail "$exe still runs 20 s after Esc"; fi
  local app_status=0
  wait "$app_pid" || app_status=$?
  app_pid=""
  [ "$app_status" = 0 ] || { cat "$dir/tavoren.log"; fail "$exe ended with status $app_status"; }
  [ -z "$(find_window)" ] || fail "the window is still there after Esc"
  echo "   Esc closed the window; exit status 0"
}
