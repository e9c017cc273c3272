#!/usr/bin/env bash
# Another build of the driver (WebAssembly under node, arm64 under qemu,
# Windows under Wine) plays every script exactly as the native one: the same
# standard output and error, the same exit status and the same files written
# (frames), byte for byte. The cases: the recorded sessions, the examples and
# seeded random timelines (written by the random-timeline test, with frames
# added along the way), each passed by its name; then one script through
# standard input, and what the driver says and does when it cannot run as
# asked (an unknown command, CRLF line ends, frames with Japanese names and
# into a missing folder, a script with a Japanese name, one that does not
# exist, two arguments, a folder, standard output full).
#
# usage: driver_equivalence.sh NATIVE_DRIVER TESTS_BINARY SEEDS COMMAND...
#   COMMAND... runs the other driver, with absolute paths, for example
#   node --no-experimental-fetch /path/tavoren-headless.js,
#   qemu-aarch64 -L /usr/aarch64-linux-gnu /path/tavoren-headless, or
#   wine /path/tavoren-headless.exe.
set -euo pipefail
[ $# -ge 4 ] || { sed -n 's/^# usage: //p' "$0" >&2; exit 2; }
native=$(realpath "$1")
tests_bin=$(realpath "$2")
seeds=$3
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/tavoren-equivalence.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scripts" "$work/run"
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
random=$(find "$work/scripts" -name 'seed-*' | wc -l)
if [ "$random" -lt "$seeds" ]; then
  echo "driver_equivalence: only $random random scripts written for $seeds seeds" >&2
  exit 1
fi

break_script=$root/tools/driver/examples/break.txt
printf 'state\nshow\njump 5\n' >"$work/unknown-command.txt"
printf 'clock 7\r\nshow\r\nsettle\r\nstate\r\n' >"$work/crlf.txt"
printf 'clock 7\nshow\nsettle\nframe rack.png\nframe 台 1.png\nframe sub dir/x.png\n' >"$work/frames.txt"

# compare NAME SOURCE MODE: runs one case with both drivers, each in a fresh
# folder holding SOURCE (if any) as script.txt, and compares the folders,
# which also hold each run's stdout, stderr and exit status. MODE "file"
# passes the script's name, "stdin" feeds it on standard input, "full" passes
# the name with standard output on /dev/full, "named:NAME" stores the script
# as NAME and passes that, "args:WORDS" passes those words.
compare() {
  local name=$1 source=$2 mode=$3
  local dir file=script.txt side
  dir=$(mktemp -d "$work/run/case.XXXXXX")
  case $mode in named:*) file=${mode#named:} ;; esac
  local -a args=()
  local input=/dev/null output=stdout
  case $mode in
    file) args=("$file") ;;
    stdin) input=$file ;;
    full) args=("$file") output=/dev/full ;;
    named:*) args=("$file") ;;
    args:*) read -r -a args <<<"${mode#args:}" ;;
  esac
  for side in native other; do
    mkdir "$dir/$side"
    if [ -n "$source" ]; then cp "$source" "$dir/$side/$file"; fi
    local driver=$native
    [ "$side" = native ] || driver=$work/other
    (cd "$dir/$side" && {
      timeout 120 "$driver" "${args[@]}" <"$input" >"$output" 2>stderr
      echo $? >status
    })
  done
  if diff -r "$dir/native" "$dir/other" >"$dir/diff" 2>&1; then
    rm -rf "$dir"
    return 0
  fi
  echo "DIFFERENT: $name ($mode)"
  sed "s|$dir/||g; s/^/  /" "$dir/diff" | head -n 20
  # cat -A shows carriage returns and other invisible bytes.
  for f in stdout stderr; do
    [ -f "$dir/native/$f" ] || continue
    cmp -s "$dir/native/$f" "$dir/other/$f" ||
      diff <(cat -A "$dir/native/$f") <(cat -A "$dir/other/$f") | head -n 10 | sed "s/^/  $f: /"
  done
  return 1
}
export -f compare
export work native

# The cases, three words each (name, source, mode), NUL-separated.
{
  for script in "$work"/scripts/*.txt; do printf '%s\0%s\0file\0' "$(basename "$script")" "$script"; done
  printf '%s\0' "break.txt through standard input" "$break_script" stdin
  printf '%s\0' "a script with an unknown command" "$work/unknown-command.txt" file
  printf '%s\0' "a script with CRLF line ends" "$work/crlf.txt" stdin
  printf '%s\0' "frames, one into a missing folder" "$work/frames.txt" file
  printf '%s\0' "a script with a Japanese name" "$break_script" "named:ラック.txt"
  printf '%s\0' "a script that does not exist" "" "args:ない.txt"
  printf '%s\0' "two arguments" "" "args:a.txt b.txt"
  printf '%s\0' "a folder for a script" "" "args:."
  printf '%s\0' "standard output full" "$break_script" full
} >"$work/cases"

status=0
xargs -0 -n3 -P2 bash -c 'compare "$@"' _ <"$work/cases" || status=1

total=$(tr -cd '\0' <"$work/cases" | wc -c)
total=$((total / 3))
frames=$(cat "$work"/scripts/*.txt | grep -c '^frame ' || true)
if [ "$status" -ne 0 ]; then
  echo "driver_equivalence: FAILED"
  exit 1
fi
echo "driver_equivalence: $total cases ($random random scripts, $frames frame commands):"
echo "  identical with $* and $native"
