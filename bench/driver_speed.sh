#!/usr/bin/env bash
# The WebAssembly driver's speed against the native one's on the same ten
# breaks in one run (each played until the table rests, at most 20 s of game
# time). A benchmark, not a test: prints the CPU seconds of each, best of
# three, and the ratio.
#
# usage: bench/driver_speed.sh NATIVE_DRIVER WASM_DRIVER_JS
set -euo pipefail
native=$1
wasm=$2
script=$(mktemp)
trap 'rm -f "$script"' EXIT
for i in $(seq 1 10); do
  printf 'clock %d\nshow\nsettle\nkey 13\nsettle 20000\nstate\n' $((4000 + i * 37))
done >"$script"

best() {
  local best=
  for _ in 1 2 3; do
    local t
    t=$( { /usr/bin/time -f '%U %S' "$@" "$script" >/dev/null; } 2>&1 | awk '{print $1 + $2}')
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}
n=$(best "$native")
w=$(best node --no-experimental-fetch "$wasm")
# Node's start-up and the compilation of the module, measured on an empty run.
empty=$(mktemp)
t0=$( { /usr/bin/time -f '%U %S' node --no-experimental-fetch "$wasm" "$empty" >/dev/null; } 2>&1 | awk '{print $1 + $2}')
rm -f "$empty"
awk -v n="$n" -v w="$w" -v s="$t0" 'BEGIN {
  printf "ten breaks: native %.2f s, wasm %.2f s (%.2f s without node start-up %.2f s); wasm runs at %.0f%% of native speed\n",
         n, w, w - s, s, 100 * n / (w - s) }'
