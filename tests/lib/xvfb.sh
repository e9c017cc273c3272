# shellcheck shell=bash
# A private X server for the tests that show a window (the window and soak
# tests, the Windows checks under Wine). Sourced; the sourcing script
# defines fail and kills $xvfb_pid when it ends.

# start_xvfb DIR [WIDTHxHEIGHT]: starts Xvfb on a display it picks itself
# (written into DIR/display; its log is DIR/xvfb.log), with a screen of the
# given size (1280x1024 by default) and no window manager, waits until it
# answers, sets xvfb_pid and exports DISPLAY. Every program started
# afterwards sees this display, Wine's desktop process included. Without
# -noreset the server would reset whenever its last client leaves, dropping
# a connection that comes in meanwhile (the next run of the game). Where
# setpriv can, Xvfb gets SIGTERM should the test die without its traps.
start_xvfb() {
  local dir=$1 size=${2:-1280x1024} _
  local guard=()
  if command -v setpriv >/dev/null 2>&1 && setpriv --pdeathsig TERM true 2>/dev/null; then
    guard=(setpriv --pdeathsig TERM --)
  fi
  "${guard[@]}" Xvfb -displayfd 9 -screen 0 "${size}x24" -nolisten tcp -noreset \
    9>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 300); do
    grep -qE '^[0-9]+$' "$dir/display" 2>/dev/null && break
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb ended at start-up: $(cat "$dir/xvfb.log")"
    sleep 0.1
  done
  grep -qE '^[0-9]+$' "$dir/display" 2>/dev/null || fail "Xvfb did not report a display"
  DISPLAY=":$(head -n1 "$dir/display")"
  export DISPLAY
  for _ in $(seq 1 300); do
    xwininfo -root >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "cannot reach Xvfb on $DISPLAY"
}
