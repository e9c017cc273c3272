#!/usr/bin/env bash
# Measures the game's CPU use under a private Xvfb, from /proc/PID/stat
# (user + system time over wall time), in three situations:
#   waiting   aiming mode, nothing to do
#   moving    the break's balls rolling (the 40 ms cycle running)
#   pause     the two-second pause of a replay between two recorded shots
# The pause is reached by playing the break and a second shot, stepping back
# over both with Backspace and replaying with Enter: after the replayed break
# the game pauses before firing the second shot again. A break that ends in a
# foul leaves nothing to replay; the rack is then renewed with Home.
#
# This is a measurement, not a test: it prints figures and asserts nothing.
# usage: bench/cpu_usage.sh GAME
set -uo pipefail

game=${1:?usage: bench/cpu_usage.sh GAME}
for tool in Xvfb xwininfo xdotool; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed" >&2; exit 2; }
done
export LC_ALL=C.UTF-8 SDL_VIDEODRIVER=x11
unset WAYLAND_DISPLAY

work=$(mktemp -d "${TMPDIR:-/tmp}/tavoren-cpu.XXXXXX") || exit 1
xvfb_pid=""
game_pid=""
cleanup() {
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

hz=$(getconf CLK_TCK)
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# CPU ticks (user + system) of a process.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Voluntary context switches: every sleep in the event wait is one.
switches() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$1/status"; }

# measure SECONDS LABEL: CPU of the game and of Xvfb over that wall time.
measure() {
  local t0 g0 x0 s0 t1 g1 x1 s1
  t0=$(now_ms) g0=$(cpu_ticks "$game_pid") x0=$(cpu_ticks "$xvfb_pid") s0=$(switches "$game_pid")
  sleep "$1"
  t1=$(now_ms) g1=$(cpu_ticks "$game_pid") x1=$(cpu_ticks "$xvfb_pid") s1=$(switches "$game_pid")
  awk -v l="$2" -v dt=$((t1 - t0)) -v g=$((g1 - g0)) -v x=$((x1 - x0)) -v s=$((s1 - s0)) -v hz="$hz" \
    'BEGIN {printf "%-8s %5.1f s  game %5.1f %%  Xvfb %5.1f %%  (%d wakeups/s)\n",
            l, dt / 1000, 100 * g / hz / (dt / 1000), 100 * x / hz / (dt / 1000), s / (dt / 1000)}'
}

# wakeups_per_s MS: the game's wakeup rate over a short interval.
wakeups_per_s() {
  local s0 s1
  s0=$(switches "$game_pid")
  sleep "$(awk -v ms="$1" 'BEGIN {print ms / 1000}')"
  s1=$(switches "$game_pid")
  echo $(((s1 - s0) * 1000 / $1))
}

# wait_rest SECONDS: true once the cycle has stopped (no ticks for 0.6 s).
wait_rest() {
  local deadline=$(($(now_ms) + $1 * 1000))
  while [ "$(now_ms)" -lt "$deadline" ]; do
    [ "$(wakeups_per_s 600)" -lt 5 ] && return 0
  done
  return 1
}

key() { xdotool key --window "$window_id" "$@"; }

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 300); do grep -qE '^[0-9]+$' "$work/display" 2>/dev/null && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

"$game" >"$work/game.log" 2>&1 &
game_pid=$!
window_id=""
for _ in $(seq 300); do
  window_id=$(xwininfo -root -children 2>/dev/null | grep -F '"タヴォレン":' | awk '{print $1}')
  [ -n "$window_id" ] && break
  sleep 0.1
done
[ -n "$window_id" ] || { echo "no window" >&2; exit 1; }
wait_rest 30 || { echo "the rack never settled" >&2; exit 1; }
sleep 1
measure 5 waiting

# The break, until one ends without a foul.
for attempt in 1 2 3 4 5; do
  key Return
  sleep 0.2
  measure 3 moving
  if wait_rest 60; then break; fi
  echo "(the break ended in a foul; new rack)"
  key Home
  wait_rest 30
  [ "$attempt" = 5 ] && { echo "no legal break in five racks" >&2; exit 1; }
done

# A second shot, whatever comes of it, then back over both and replay.
key Return
wait_rest 30 || true
key BackSpace
sleep 0.3
key BackSpace
wait_rest 10
key Return
# The replayed break rolls; the pause starts when the game begins to wake
# about once a millisecond.
deadline=$(($(now_ms) + 60000))
while [ "$(now_ms)" -lt "$deadline" ]; do
  [ "$(wakeups_per_s 100)" -gt 300 ] && break
done
measure 1.5 pause
