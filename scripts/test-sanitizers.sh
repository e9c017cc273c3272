#!/usr/bin/env bash
# The tests and tavoren-headless built with AddressSanitizer and
# UndefinedBehaviorSanitizer (any report fails the run), then every test run
# under them, the random timelines included. With clang present, also a
# short run of the coverage-guided fuzz target on its seed inputs.
#
#   scripts/test-sanitizers.sh            build in build-asan (and build-fuzz), test
#   TAVOREN_FUZZ_SEEDS=5000 scripts/test-sanitizers.sh   more random timelines
#   TAVOREN_SKIP_FUZZ=1 scripts/test-sanitizers.sh       leave the fuzz target out
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
[ "$jobs" -gt 2 ] || jobs=2

sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
export ASAN_OPTIONS="abort_on_error=1:strict_string_checks=1:check_initialization_order=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

echo "== sanitizers: AddressSanitizer + UndefinedBehaviorSanitizer (build-asan)"
# -O1 with line tables: quick to build, still fast to run, reports with
# file and line.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Sanitize \
  -DCMAKE_CXX_FLAGS_SANITIZE="-O1 -g1" \
  -DCMAKE_CXX_FLAGS="$sanitize" \
  -DTAVOREN_SDL=OFF -DTAVOREN_BENCH=OFF -DTAVOREN_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 900

if [ "${TAVOREN_SKIP_FUZZ:-0}" != 0 ]; then
  exit 0
fi
clangxx=$(command -v clang++ || command -v clang++-14 || true)
clangc=$(command -v clang || command -v clang-14 || true)
if [ -z "$clangxx" ] || [ -z "$clangc" ]; then
  echo "== fuzz target: no clang, skipped"
  exit 0
fi

echo "== fuzz target: libFuzzer smoke run (build-fuzz)"
CC="$clangc" CXX="$clangxx" cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Sanitize \
  -DCMAKE_CXX_FLAGS_SANITIZE="-O1 -g1" \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
  -DTAVOREN_SDL=OFF -DTAVOREN_BENCH=OFF -DTAVOREN_WERROR=ON >/dev/null
cmake --build build-fuzz -j"$jobs" --target tavoren_timeline_fuzzer
# A scratch corpus, so the checked-in seed inputs stay as they are; an
# input that breaks something is kept in build-fuzz/ (crash-*).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp tests/fuzz/corpus/* "$work"/
build-fuzz/tests/fuzz/tavoren_timeline_fuzzer -runs="${TAVOREN_FUZZ_RUNS:-200}" -max_total_time=15 \
  -max_len=512 -seed=1 -print_final_stats=1 -artifact_prefix=build-fuzz/ "$work" 2>&1 | tail -n 12
