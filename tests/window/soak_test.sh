#!/usr/bin/env bash
# Soak test: the real game under a private Xvfb (no window manager) gets a
# stretch of seeded random input through the X server's test extension,
# the way a user's hands would give it: mouse moves and drags on the window
# and far outside it (released outside too), other buttons and the wheel,
# Return, keypad Enter, BackSpace, Home, modifiers held across other input,
# lock keys, F10, Menu, ctrl/shift/alt combinations. Esc is left out. Then
# the keyboard must still work: Home racks a new game, Enter shoots,
# BackSpace restores the table as it was before the shot, Esc ends the
# program with status 0. Every few seconds, and whenever a check fails, the
# state of the X server's keyboard (focus, modifiers, keys held, XKB
# controls) is recorded. The window must stay shown throughout; if the X focus
# has left it, that is reported and the window is given the focus the way a
# window manager would before the keys are checked.
#
# usage: soak_test.sh GAME INPUT_TOOL
#   GAME        the tavoren binary
#   INPUT_TOOL  tavoren-x11-input, which prints the X keyboard and pointer state
# Environment:
#   TAVOREN_SOAK_SECONDS  length of the random input (default 75)
#   TAVOREN_SOAK_SEED     seed of the input (default: a new one, printed)
#   TAVOREN_SOAK_LOG      a file to copy the record of input and X state to
# Exit status 0 = passed, 1 = failed, 77 = skipped (a tool is missing).
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 GAME INPUT_TOOL" >&2
  exit 2
fi
game=$(realpath "$1")
input_tool=$(realpath "$2")
seconds=${TAVOREN_SOAK_SECONDS:-75}
seed=${TAVOREN_SOAK_SEED:-$(($(date +%s%N) / 1000 % 1000000))}
case "$seconds$seed" in *[!0-9]*)
  echo "TAVOREN_SOAK_SECONDS and TAVOREN_SOAK_SEED take whole numbers" >&2
  exit 2 ;;
esac

# shellcheck source=tests/window/x_session.sh
. "$(dirname "$0")/x_session.sh"
skip_unless_tools Xvfb xwininfo xdotool import convert od cmp

record=$work/record.log
log() { echo "$(($(now_ms) - t0_ms)) $*" >>"$record"; }
x_state() { "$input_tool" "$@" 2>&1; }

on_fail() {
  echo "--- seed $seed, $seconds s of random input; X state now:"
  x_state --grabs
  [ -n "$window_id" ] && echo "(the game's window is $window_id)"
  echo "--- the window's focus as the game saw it (SDL's event log):"
  grep -E 'FOCUS_(GAINED|LOST)|WINDOWEVENT_(HIDDEN|SHOWN)' "$work/game.log" | tail -n 10
  echo "--- last lines of the record (ms since start, what was done or seen):"
  tail -n 60 "$record"
  if [ -n "${TAVOREN_SOAK_LOG:-}" ]; then cp "$record" "$TAVOREN_SOAK_LOG"; fi
}

# SDL logs every event but mouse motion to the game's output: which keys
# reached the game, and when its window gained or lost the focus.
export SDL_EVENT_LOGGING=1

t0_ms=$(now_ms)
start_session_xvfb
echo "seed $seed, $seconds s of random input (TAVOREN_SOAK_SEED=$seed to replay it)"
log "start: seed $seed, $seconds s"
log "X before the game: $(x_state | tr '\n' ';')"
open_window "$game"
log "window $window_id $window_geometry"
log "X with the window open: $(x_state | tr '\n' ';')"

# Every draw comes from $RANDOM in this shell, never in a command
# substitution: a subshell draws from a generator of its own, seeded anew, and
# the input would not repeat for the same seed.
RANDOM=$seed

# point: sets px, py to a point for the pointer: mostly on the window, else
# anywhere on the screen (xdotool keeps the pointer on the screen; the screen
# reaches well outside the window on every side).
point() {
  if [ $((RANDOM % 10)) -lt 7 ]; then
    px=$((win_x + RANDOM % client_w)) py=$((win_y + RANDOM % client_h))
  else
    px=$((RANDOM % screen_w)) py=$((RANDOM % screen_h))
  fi
}

readonly game_keys=(Return KP_Enter BackSpace Home)
readonly other_keys=(Shift_L Shift_R Control_L Control_R Alt_L Alt_R Super_L Caps_Lock Num_Lock
  Scroll_Lock F10 Menu Tab space a z 1 Up Down Left Right Prior Next Insert Delete F1 F4 F12
  Pause Print KP_1 KP_5 KP_7 KP_0 KP_Add KP_Decimal KP_Home)
readonly combos=(ctrl+Return shift+Return alt+Return ctrl+shift+Home shift+BackSpace ctrl+BackSpace
  alt+F10 shift+F10 ctrl+F10 ctrl+a shift+Menu ctrl+Menu shift+Num_Lock shift+Caps_Lock
  ctrl+shift+KP_Enter ctrl+alt+Home super+Return ctrl+shift+alt+F10 shift+KP_7 alt+Tab)
readonly holdable=(Shift_L Shift_R Control_L Control_R Alt_L Alt_R Super_L)
held_keys=()
held_button=""

# pick LIST: sets picked to one of the list's words.
pick() {
  local -n list=$1
  picked=${list[RANDOM % ${#list[@]}]}
}

# do_x ARGS...: one xdotool command, recorded.
do_x() {
  log "xdotool $*"
  xdotool "$@" 2>>"$record"
}

random_step() {
  local r n i
  r=$((RANDOM % 100))
  if [ "$r" -lt 30 ]; then
    point
    do_x mousemove "$px" "$py"
  elif [ "$r" -lt 44 ]; then
    # A drag with the left button, sometimes released far away, sometimes
    # left held for a while.
    point
    do_x mousemove "$px" "$py" mousedown 1
    n=$((1 + RANDOM % 4))
    for ((i = 0; i < n; i++)); do
      point
      do_x mousemove "$px" "$py"
    done
    if [ $((RANDOM % 8)) -eq 0 ]; then held_button=1; else do_x mouseup 1; fi
  elif [ "$r" -lt 48 ]; then
    point
    do_x mousemove "$px" "$py" click $((2 + RANDOM % 4))
  elif [ "$r" -lt 62 ]; then
    pick game_keys
    if [ $((RANDOM % 2)) -eq 0 ]; then
      do_x key "$picked"
    else
      do_x key --window "$window_id" "$picked"
    fi
  elif [ "$r" -lt 80 ]; then
    pick other_keys
    do_x key "$picked"
  elif [ "$r" -lt 90 ]; then
    pick combos
    do_x key "$picked"
  elif [ "$r" -lt 96 ]; then
    if [ ${#held_keys[@]} -gt 0 ] && [ $((RANDOM % 2)) -eq 0 ]; then
      do_x keyup "${held_keys[@]}"
      held_keys=()
    else
      pick holdable
      do_x keydown "$picked"
      held_keys+=("$picked")
    fi
  elif [ "$r" -lt 98 ]; then
    if [ -n "$held_button" ]; then
      do_x mouseup "$held_button"
      held_button=""
    fi
    sleep 0.$((1 + RANDOM % 4))
  else
    sleep 0.$((2 + RANDOM % 6))
  fi
  sleep 0.0$((RANDOM % 4))
}

release_all() {
  if [ ${#held_keys[@]} -gt 0 ]; then do_x keyup "${held_keys[@]}"; fi
  held_keys=()
  if [ -n "$held_button" ]; then do_x mouseup "$held_button"; fi
  held_button=""
}

# --- The random input ---------------------------------------------------------

end_ms=$(($(now_ms) + seconds * 1000))
next_probe_ms=0
last_focus=""
steps=0
while [ "$(now_ms)" -lt "$end_ms" ]; do
  alive "$game_pid" || fail "the game ended during the random input"
  random_step
  steps=$((steps + 1))
  if [ "$(now_ms)" -ge "$next_probe_ms" ]; then
    state=$(x_state | tr '\n' ';')
    log "X: $state"
    focus=${state%%;*}
    if [ "$focus" != "$last_focus" ]; then
      echo "$(((($(now_ms) - t0_ms)) / 1000)) s: $focus"
      last_focus=$focus
    fi
    next_probe_ms=$(($(now_ms) + 2000))
  fi
done
release_all
# Lock keys are left as the input left them: Caps Lock and Num Lock on or off
# must not matter to the keys checked below.
log "random input done: $steps steps"
log "X after the random input: $(x_state --grabs | tr '\n' ';')"
echo "ok: $steps random steps in $seconds s; the game is still running"

# The window stayed on the screen throughout: the game never hid it.
viewable || fail "the window is no longer viewable after the random input"
if grep -q 'SDL_WINDOWEVENT_HIDDEN' "$work/game.log"; then
  fail "the window was hidden during the random input"
fi

# Without a window manager the keyboard focus is wherever the last
# XSetInputFocus put it: SDL gives it to the window once, when it is first
# shown, and nothing gives it back should it move. A window manager would
# focus the window the user works in; so does the test, after recording where
# the focus was.
focus_id=$(x_state | sed -n '1s/^focus: \(0x[0-9a-f]*\).*/\1/p')
if [ "$focus_id" != "$window_id" ]; then
  echo "note: after the random input the X focus is not on the window: $(x_state | head -n1)"
  log "focus moved away from the window; giving it back as a window manager would"
  xdotool windowfocus --sync "$window_id" || fail "could not give the window the focus"
fi

# --- The game still answers ------------------------------------------------------

press_key() {
  log "check: key $1"
  xdotool key "$1" 2>>"$record" || fail "xdotool could not press $1"
}
check_game_answers
log "check: Esc"
check_esc_ends
log "passed"
if [ -n "${TAVOREN_SOAK_LOG:-}" ]; then cp "$record" "$TAVOREN_SOAK_LOG"; fi
echo "PASS"
