#!/usr/bin/env bash
# The arm64 (aarch64) Linux build, checked on an x86-64 machine under qemu:
#   1. cross-builds tavoren-headless and the test program with the `arm64`
#      preset (Debian's aarch64 cross compiler, -ffp-contract=off as always);
#   2. runs the whole GoogleTest suite under qemu-aarch64, in two shards side
#      by side (the random-timeline test with fewer seeds, see below);
#   3. plays every recorded script, every example and seeded random timelines
#      with the arm64 driver under qemu and with the native one, and requires
#      the same bytes on stdout and stderr, the same exit status and the same
#      frame files (tests/lib/driver_equivalence.sh).
# Needs what `scripts/deps.sh arm64` installs. TAVOREN_ARM64=0 skips it all;
# TAVOREN_ARM64_SEEDS=N plays N random timelines (default 240).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

if [ "${TAVOREN_ARM64:-1}" = 0 ]; then
  echo "test-arm64: skipped (TAVOREN_ARM64=0)"
  exit 0
fi

build=$root/build-arm64
jobs=$(nproc)
seeds=${TAVOREN_ARM64_SEEDS:-240}
suite=test-arm64
# phase, done_phase, fail, require_tools
# shellcheck source=tests/lib/suite.sh
. "$root/tests/lib/suite.sh"

require_tools "scripts/deps.sh arm64" cmake aarch64-linux-gnu-g++ qemu-aarch64
# The programs run on Debian's own arm64 C and C++ libraries (multiarch), as
# on an arm64 Debian.
[ -e /lib/ld-linux-aarch64.so.1 ] || fail "no arm64 C library (libc6:arm64): run scripts/deps.sh arm64"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tavoren-arm64.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM HUP

# --- 1. Cross build -----------------------------------------------------------
phase "cross build (preset arm64)"
cmake --preset arm64 >"$tmp/configure.log" 2>&1 || { cat "$tmp/configure.log"; fail "configure"; }
cmake --build --preset arm64 -j"$jobs" --target tavoren-headless tavoren_tests >"$tmp/build.log" 2>&1 ||
  { cat "$tmp/build.log"; fail "build"; }
arm_headless=$build/tools/driver/tavoren-headless
arm_tests=$build/tests/tavoren_tests
# The ELF header's machine field: 183 is AArch64.
for f in "$arm_headless" "$arm_tests"; do
  [ "$(od -An -tu2 -j18 -N2 "$f" | tr -d ' ')" = 183 ] || fail "not an aarch64 program: $f"
done
done_phase

# --- 2. Unit tests --------------------------------------------------------------
# The random-timeline test plays 40 of its seeds here instead of 240: under
# the emulator they are half the suite's time, and step 3 plays the arm64
# driver on the same timelines and requires the native program's very bytes.
phase "unit tests under qemu-aarch64"
pids=()
for shard in 0 1; do
  (cd "$build" && GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=$shard TAVOREN_FUZZ_SEEDS=40 timeout 1200 \
    qemu-aarch64 "$arm_tests" --gtest_brief=1) >"$tmp/unit-$shard.log" 2>&1 &
  pids+=($!)
done
for shard in 0 1; do
  wait "${pids[$shard]}" || { cat "$tmp/unit-$shard.log"; fail "tavoren_tests (shard $shard of 2)"; }
  grep -E '^\[  PASSED  \]|tests? from .* ran' "$tmp/unit-$shard.log" | sed "s/^/   shard $shard: /"
done
done_phase

# --- 3. The arm64 driver against the native one --------------------------------
phase "native reference build (build/)"
if [ ! -f "$root/build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVOREN_WERROR=ON \
    >"$tmp/native.log" 2>&1 || { cat "$tmp/native.log"; fail "configure build/"; }
fi
cmake --build "$root/build" -j"$jobs" --target tavoren-headless tavoren_tests >"$tmp/native.log" 2>&1 ||
  { cat "$tmp/native.log"; fail "native tavoren-headless and tavoren_tests"; }
done_phase

phase "arm64 driver against the native one ($seeds random timelines)"
timeout 1200 tests/lib/driver_equivalence.sh build/tools/driver/tavoren-headless build/tests/tavoren_tests \
  "$seeds" qemu-aarch64 "$arm_headless" | sed 's/^/   /' || fail "the arm64 driver differs from the native one"
done_phase

echo "test-arm64: all passed in $((SECONDS - started)) s"
