#!/usr/bin/env bash
# The tests and tavoren-headless built with AddressSanitizer and
# UndefinedBehaviorSanitizer (any report fails the run), then every test run
# under them, the random timelines included. Then a
# short run of the coverage-guided fuzz target on its seed inputs (clang).
# The builds are the presets asan and fuzz.
#
#   tests/sanitizers/run.sh            build in build-asan and build-fuzz, test
#   TAVOREN_FUZZ_SEEDS=5000 tests/sanitizers/run.sh   more random timelines
#   TAVOREN_SKIP_FUZZ=1 tests/sanitizers/run.sh       leave the fuzz target out
set -euo pipefail
cd "$(dirname "$0")/../.."
jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2

export ASAN_OPTIONS="abort_on_error=1:strict_string_checks=1:check_initialization_order=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

echo "== sanitizers: AddressSanitizer + UndefinedBehaviorSanitizer (build-asan)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --preset asan -j"$jobs"

if [ "${TAVOREN_SKIP_FUZZ:-0}" != 0 ]; then
  exit 0
fi
command -v clang++ >/dev/null 2>&1 || {
  echo "test-sanitizers: FAIL: no clang++ for the fuzz target: run scripts/deps.sh test" \
    "(or set TAVOREN_SKIP_FUZZ=1)" >&2
  exit 1
}

echo "== fuzz target: libFuzzer smoke run (build-fuzz)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs"
# A scratch corpus, so the checked-in seed inputs stay as they are; an
# input that breaks something is kept in build-fuzz/ (crash-*).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp tests/fuzz/corpus/* "$work"/
build-fuzz/tests/fuzz/tavoren_timeline_fuzzer -runs="${TAVOREN_FUZZ_RUNS:-200}" -max_total_time=15 \
  -max_len=512 -seed=1 -print_final_stats=1 -artifact_prefix=build-fuzz/ "$work" 2>&1 | tail -n 12
