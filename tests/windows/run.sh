#!/usr/bin/env bash
# The Windows build, checked on Linux:
#   1. cross-builds tavoren.exe, tavoren-headless.exe and the test programs
#      with the `windows` preset (MinGW-w64, static runtime);
#   2. runs the unit tests under Wine, in a private Wine prefix;
#   3. runs every example script and every recorded test script through
#      tavoren-headless.exe and through the Linux build and requires the same
#      bytes on stdout and stderr, the same exit status and the same files
#      (frames) written;
#   4. in its own Xvfb: the Win32 layer tests with real windows, then
#      tavoren.exe itself: its window, its picture, a drag of the cue line,
#      and Esc to end it.
# Needs what `scripts/deps.sh test windows` installs. TAVOREN_WINDOWS=0
# skips it all. TAVOREN_LINUX_HEADLESS names the Linux tavoren-headless to
# compare with (default: the one of the developer build, preset default).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

if [ "${TAVOREN_WINDOWS:-1}" = 0 ]; then
  echo "test-windows: skipped (TAVOREN_WINDOWS=0)"
  exit 0
fi

build=$root/build-win
jobs=$(nproc)
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
app_pid=""
wine_up=""

cleanup() {
  local status=$?
  set +e
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then kill "$app_pid" 2>/dev/null; fi
  # Every Wine process of the private prefix: the program, explorer, services.
  if [ -n "$wine_up" ]; then wineserver -k >/dev/null 2>&1; fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$tmp"
  exit "$status"
}
trap cleanup EXIT
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
(cd "$build" && timeout 600 wine "$exe_tests" --gtest_brief=1) >"$tmp/unit.log" 2>&1 || {
  cat "$tmp/unit.log"
  fail "tavoren_tests.exe"
}
grep -E '^\[  PASSED  \]|tests? from .* ran' "$tmp/unit.log" | sed 's/^/   /'
done_phase

# --- 3. Headless scripts: Windows output = Linux output ----------------------
phase "headless scripts, Windows against Linux"
linux_headless=${TAVOREN_LINUX_HEADLESS:-}
if [ -z "$linux_headless" ]; then
  # The developer build serves: scripts/test has built it already.
  { [ -f "$root/build/CMakeCache.txt" ] || cmake --preset default; } >"$tmp/linux.log" 2>&1 ||
    { cat "$tmp/linux.log"; fail "configure build/"; }
  cmake --build "$root/build" --target tavoren-headless -j"$jobs" >"$tmp/linux.log" 2>&1 ||
    { cat "$tmp/linux.log"; fail "Linux tavoren-headless"; }
  linux_headless=$root/build/tools/driver/tavoren-headless
fi
[ -x "$linux_headless" ] || fail "no Linux tavoren-headless at $linux_headless"

# Runs one case on both systems in fresh directories holding `script.txt`:
# mode "file" passes the file's name, "stdin" feeds it on standard input,
# "full" passes the name with standard output on /dev/full, "named:NAME"
# stores the script as NAME and passes that, "args:..." passes those words.
differences=0
cases=0
compare_case() {
  local name=$1 source=$2 mode=$3
  local dir=$tmp/case-$cases
  cases=$((cases + 1))
  mkdir -p "$dir/linux" "$dir/windows"
  local os file=script.txt
  case $mode in named:*) file=${mode#named:} ;; esac
  for os in linux windows; do
    if [ -n "$source" ]; then cp "$source" "$dir/$os/$file"; fi
  done
  local -a args=()
  local input=/dev/null output=
  case $mode in
    file) args=(script.txt) ;;
    stdin) input=script.txt ;;
    full) args=(script.txt) output=/dev/full ;;
    named:*) args=("$file") ;;
    args:*) read -r -a args <<<"${mode#args:}" ;;
  esac
  local linux_status=0 windows_status=0
  (cd "$dir/linux" && timeout 120 "$linux_headless" "${args[@]}" <"$input" \
    >"${output:-../linux.out}" 2>../linux.err) || linux_status=$?
  (cd "$dir/windows" && timeout 120 wine "$exe_headless" "${args[@]}" <"$input" \
    >"${output:-../windows.out}" 2>../windows.err) || windows_status=$?
  touch "$dir/linux.out" "$dir/windows.out"
  local problems=()
  [ "$linux_status" = "$windows_status" ] || problems+=("exit status $linux_status on Linux, $windows_status on Windows")
  cmp -s "$dir/linux.out" "$dir/windows.out" || problems+=("stdout differs")
  cmp -s "$dir/linux.err" "$dir/windows.err" || problems+=("stderr differs")
  # The files the run wrote (frames), by name and content.
  diff -r "$dir/linux" "$dir/windows" >"$dir/files.diff" 2>&1 || problems+=("written files differ")
  if [ ${#problems[@]} -eq 0 ]; then
    printf '   same   %-45s %-6s %7d bytes, status %s\n' "$name" "${mode%%:*}" \
      "$(wc -c <"$dir/linux.out")" "$linux_status"
    return
  fi
  differences=$((differences + 1))
  printf '   DIFFER %-45s %s: %s\n' "$name" "${mode%%:*}" "$(IFS=';'; echo "${problems[*]}")"
  # cat -A shows carriage returns and other invisible bytes.
  diff <(cat -A "$dir/linux.out") <(cat -A "$dir/windows.out") | head -n 10 | sed 's/^/      /'
  diff <(cat -A "$dir/linux.err") <(cat -A "$dir/windows.err") | head -n 6 | sed 's/^/      /'
  head -n 6 "$dir/files.diff" | sed 's/^/      /'
}

mapfile -t scripts < <(
  {
    find "$root/tools/driver/examples" -type f -name '*.txt' 2>/dev/null
    find "$root/tests/data" -path '*scripts*' -type f -name '*.txt' 2>/dev/null
  } | LC_ALL=C sort
)
[ ${#scripts[@]} -gt 0 ] || fail "no scripts found under tools/driver/examples or tests/data"
# Every script by its name; reading standard input instead plays the same
# script the same way, so one script on standard input shows that path (the
# CRLF case below is another).
for script in "${scripts[@]}"; do
  compare_case "${script#"$root"/}" "$script" file
done
compare_case "${scripts[0]#"$root"/}" "${scripts[0]}" stdin
# What the driver says when it cannot run: the same words and status.
printf 'state\nshow\njump 5\n' >"$tmp/bad-script.txt"
printf 'clock 7\r\nshow\r\nsettle\r\nstate\r\n' >"$tmp/crlf-script.txt"
printf 'clock 7\nshow\nsettle\nframe rack.png\nframe 台 1.png\nframe sub dir/x.png\n' >"$tmp/frame-script.txt"
compare_case "(a script with an unknown command)" "$tmp/bad-script.txt" file
compare_case "(a script with CRLF line ends)" "$tmp/crlf-script.txt" stdin
compare_case "(frames, one into a missing folder)" "$tmp/frame-script.txt" file
compare_case "(a script with a Japanese name)" "${scripts[0]}" "named:ラック.txt"
compare_case "(a script that does not exist)" "" "args:ない.txt"
compare_case "(two arguments)" "" "args:a.txt b.txt"
compare_case "(a folder for a script)" "" "args:."
compare_case "(standard output full)" "${scripts[0]}" full
[ "$differences" -eq 0 ] || fail "$differences of $cases cases differ between Windows and Linux"
echo "   all $cases cases identical"
done_phase

# --- 4. The window ------------------------------------------------------------
phase "Win32 layer tests (Xvfb $DISPLAY)"
(cd "$build" && timeout 300 wine "$exe_win32_tests" --gtest_brief=1) >"$tmp/win32.log" 2>&1 || {
  cat "$tmp/win32.log"
  fail "tavoren_win32_tests.exe"
}
grep -E '^\[  PASSED  \]|tests? from .* ran' "$tmp/win32.log" | sed 's/^/   /'
done_phase

phase "tavoren.exe in Xvfb"
mkdir -p "$tmp/game"
check_game_window "$exe_game" "$tmp/game" "$build/tavoren-window-failed.png"
done_phase

echo "test-windows: all passed in $((SECONDS - started)) s"
