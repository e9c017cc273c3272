#!/usr/bin/env bash
# The Windows build, checked on Linux:
#   1. cross-builds tavoren.exe, tavoren-headless.exe and the test programs
#      with the `windows` preset (MinGW-w64, static runtime);
#   2. runs the unit tests under Wine, in a private Wine prefix;
#   3. plays every recorded script, every example, seeded random timelines
#      and the driver's failures with tavoren-headless.exe and with the Linux
#      build, and requires the same bytes on stdout and stderr, the same exit
#      status and the same files (frames) written
#      (tests/lib/driver_equivalence.sh);
#   4. in its own Xvfb: the Win32 layer tests with real windows, then
#      tavoren.exe itself, checked as the SDL game's window is
#      (tests/lib/game_window.sh): its window, its picture, the mouse and the
#      keys, Esc and a close box to end it.
# Needs what `scripts/deps.sh test windows` installs. TAVOREN_WINDOWS=0
# skips it all; TAVOREN_WINDOWS_SEEDS=N plays N random timelines (default 240).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

if [ "${TAVOREN_WINDOWS:-1}" = 0 ]; then
  echo "test-windows: skipped (TAVOREN_WINDOWS=0)"
  exit 0
fi

build=$root/build-win
jobs=$(nproc)
seeds=${TAVOREN_WINDOWS_SEEDS:-240}
suite=test-windows
# phase, done_phase, fail, require_tools
# shellcheck source=tests/lib/suite.sh
. "$root/tests/lib/suite.sh"

# start_xvfb, use_wine_prefix, check_game_window
# shellcheck source=tests/lib/wine-game.sh
. "$root/tests/lib/wine-game.sh"

require_tools "scripts/deps.sh test windows" \
  cmake x86_64-w64-mingw32-g++ wine wineboot wineserver Xvfb xwininfo xdotool import convert

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tavoren-windows.XXXXXX")
xvfb_pid=""
wine_up=""

trap wine_cleanup EXIT
trap 'exit 130' INT TERM HUP

# --- 1. Cross build -----------------------------------------------------------
phase "cross build (preset windows)"
cmake --preset windows >"$tmp/configure.log" 2>&1 || { cat "$tmp/configure.log"; fail "configure"; }
cmake --build "$build" -j"$jobs" >"$tmp/build.log" 2>&1 || { cat "$tmp/build.log"; fail "build"; }
exe_game=$build/platform/win32/tavoren.exe
exe_headless=$build/tools/driver/tavoren-headless.exe
exe_tests=$build/tests/tavoren_tests.exe
exe_win32_tests=$build/tests/windows/tavoren_win32_tests.exe
for f in "$exe_game" "$exe_headless" "$exe_tests" "$exe_win32_tests"; do
  [ -f "$f" ] || fail "not built: $f"
done
done_phase

# wine_gtest SECONDS PROGRAM: runs a GoogleTest program under Wine in the
# build folder; prints its summary, or its whole output and fails.
wine_gtest() {
  local log
  log=$tmp/$(basename "$2" .exe).log
  (cd "$build" && timeout "$1" wine "$2" --gtest_brief=1) >"$log" 2>&1 || {
    cat "$log"
    fail "$(basename "$2")"
  }
  grep -E '^\[  PASSED  \]|tests? from .* ran' "$log" | sed 's/^/   /'
}

# --- The display and the Wine prefix -----------------------------------------
phase "Xvfb and Wine prefix"
start_xvfb "$tmp"
use_wine_prefix "$build/wineprefix" "$tmp/wineboot.log"
# The layer tests show and hide many windows. Without a window manager Wine
# waits two seconds for every managed window to be withdrawn, so their windows
# are left unmanaged. tavoren.exe stays managed: its X window is then exactly
# its client area, which the window check below measures.
if ! grep -q 'tavoren_win32_tests.exe' "$WINEPREFIX/user.reg" 2>/dev/null; then
  timeout 120 wine reg add 'HKCU\Software\Wine\AppDefaults\tavoren_win32_tests.exe\X11 Driver' \
    /v Managed /d N /f >>"$tmp/wineboot.log" 2>&1 || { cat "$tmp/wineboot.log"; fail "wine reg"; }
fi
# One wine server for all the runs below. Status 2: wineboot's server is
# still up; it stays a few seconds after its last client, which serves too.
wineserver -p >/dev/null 2>&1 || [ $? = 2 ] || fail "wineserver -p"
done_phase

# --- 2. Unit tests ------------------------------------------------------------
# All of tavoren_tests runs. The tests that start the program through a POSIX
# shell skip themselves on Windows; step 3 runs the program instead.
phase "unit tests under Wine"
wine_gtest 600 "$exe_tests"
done_phase

# --- 3. The Windows driver against the Linux one -----------------------------
phase "native reference build (build/)"
# The developer build serves: scripts/test has built it already.
{ [ -f "$root/build/CMakeCache.txt" ] || cmake --preset default; } >"$tmp/linux.log" 2>&1 ||
  { cat "$tmp/linux.log"; fail "configure build/"; }
# And the helper that sends a close box's message, for the window check below.
cmake --build "$root/build" --target tavoren-headless tavoren_tests tavoren-x11-close -j"$jobs" \
  >"$tmp/linux.log" 2>&1 || { cat "$tmp/linux.log"; fail "Linux tavoren-headless, tavoren_tests, tavoren-x11-close"; }
done_phase

phase "Windows driver against the Linux one ($seeds random timelines)"
timeout 1800 tests/lib/driver_equivalence.sh build/tools/driver/tavoren-headless build/tests/tavoren_tests \
  "$seeds" wine "$exe_headless" | sed 's/^/   /' || fail "the Windows driver differs from the Linux one"
done_phase

# --- 4. The window ------------------------------------------------------------
phase "Win32 layer tests (Xvfb $DISPLAY)"
wine_gtest 300 "$exe_win32_tests"
done_phase

phase "tavoren.exe in Xvfb"
mkdir -p "$tmp/game"
check_game_window "$exe_game" "$tmp/game" "$root/build/tests/window/tavoren-x11-close" \
  "$build/tavoren-window-failed.png"
done_phase

echo "test-windows: all passed in $((SECONDS - started)) s"
