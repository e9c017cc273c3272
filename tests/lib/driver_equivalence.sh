#!/usr/bin/env bash
# Another build of the driver (WebAssembly under node, arm64 under qemu, ...)
# plays every script exactly as the native one: the same standard output and
# error, the same exit status and the same frame files, byte for byte.
# Scripts: the recorded sessions, the examples, one script through standard
# input, and seeded random timelines (written by the random-timeline test,
# with frames added along the way).
#
# usage: driver_equivalence.sh NATIVE_DRIVER TESTS_BINARY SEEDS COMMAND...
#   COMMAND... runs the other driver, with absolute paths, for example
#   node --no-experimental-fetch /path/tavoren-headless.js, or
#   qemu-aarch64 -L /usr/aarch64-linux-gnu /path/tavoren-headless.
set -euo pipefail
[ $# -ge 4 ] || { sed -n 's/^# usage: //p' "$0" >&2; exit 2; }
native=$(realpath "$1")
tests_bin=$(realpath "$2")
seeds=$3
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scripts"
# The other driver's command, as one program the parallel runs below can start.
{ echo '#!/usr/bin/env bash'; printf 'exec'; printf ' %q' "$@"; echo ' "$@"'; } >"$work/other"
chmod +x "$work/other"

cp "$root"/tests/data/scripts/*.txt "$work/scripts/"
for f in "$root"/tools/driver/examples/*.txt; do cp "$f" "$work/scripts/example-$(basename "$f")"; done

# Random timelines: one script per seed, with a frame after every twentieth
# state mark and one at the end.
TAVOREN_FUZZ_PRINT=1 TAVOREN_FUZZ_SEEDS="$seeds" "$tests_bin" \
  --gtest_filter='Seeds/TimelineFuzz.*' >"$work/fuzz.txt"
awk -v dir="$work/scripts" '
  function finish() { if (out != "") { print "frame last.png" > out; close(out) } }
  /^---- seed [0-9]+ / { finish(); out = sprintf("%s/seed-%05d.txt", dir, $3); marks = 0; next }
  /^block [0-9]+:/ || /^\[/ { finish(); out = ""; next }
  out != "" {
    print > out
    if ($1 == "state" && ++marks % 20 == 0) print "frame mark-" marks ".png" > out
  }
  END { finish() }' "$work/fuzz.txt"
random=$(ls "$work/scripts" | grep -c '^seed-' || true)
if [ "$random" -lt "$seeds" ]; then
  echo "driver_equivalence: only $random random scripts written for $seeds seeds" >&2
  exit 1
fi

# Runs one script with both drivers, each in a folder of its own, and
# compares the folders.
compare() {
  local script=$1 name
  name=$(basename "$script" .txt)
  mkdir -p "$work/run/$name/native" "$work/run/$name/other"
  (cd "$work/run/$name/native" && { "$native" "$script" >stdout 2>stderr; echo $? >status; })
  (cd "$work/run/$name/other" && { "$work/other" "$script" >stdout 2>stderr; echo $? >status; })
  if ! diff -r "$work/run/$name/native" "$work/run/$name/other" >"$work/run/$name.diff"; then
    echo "DIFFERENT: $name"
    cat "$work/run/$name.diff"
    return 1
  fi
  rm -rf "$work/run/$name" "$work/run/$name.diff"
}
export -f compare
export work native

status=0
ls "$work"/scripts/*.txt | xargs -P2 -I{} bash -c 'compare "$@"' _ {} || status=1

# Standard input instead of a file.
mkdir -p "$work/stdin/native" "$work/stdin/other"
(cd "$work/stdin/native" && "$native" <"$root/tools/driver/examples/break.txt" >stdout)
(cd "$work/stdin/other" && "$work/other" <"$root/tools/driver/examples/break.txt" >stdout)
diff -r "$work/stdin/native" "$work/stdin/other" || { echo "DIFFERENT: break.txt through standard input"; status=1; }

total=$(ls "$work"/scripts/*.txt | wc -l)
frames=$(cat "$work"/scripts/*.txt | grep -c '^frame ' || true)
if [ "$status" -ne 0 ]; then
  echo "driver_equivalence: FAILED"
  exit 1
fi
echo "driver_equivalence: $total scripts ($random random, $frames frame commands) and standard input:"
echo "  identical with $* and $native"
