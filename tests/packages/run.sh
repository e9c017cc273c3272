#!/usr/bin/env bash
# The release artifacts, checked as a player would get them:
#   1. scripts/package builds them all into dist/; SHA256SUMS matches;
#   2. the Debian packages: their fields and files, lintian with no error,
#      the AppStream entry, the desktop entry and the manual pages; unpacked
#      with dpkg-deb -x into a scratch root (never installed on this
#      machine), the game from there passes the window test in its own Xvfb
#      and the driver from there plays a script;
#   3. the portable zip: exactly the game, with the version in its version
#      block;
#   4. the installer, in a private 64-bit Wine prefix and its own Xvfb:
#      installed silently (/S) into Program Files with a Start-menu shortcut
#      and an entry in the list of installed programs, the installed game
#      passes the window check (tests/lib/game_window.sh), and the
#      uninstaller (/S) leaves no file and no registry key behind;
#   5. the web page's zip: the page, file for file;
#   6. the arm64 Debian packages (unless TAVOREN_ARM64=0): their fields, the
#      same files as the amd64 ones, lintian with no error; unpacked, the
#      arm64 game passes the window test in Xvfb under qemu-aarch64 and the
#      arm64 driver plays a script to the amd64 one's very bytes and frames.
# Needs what `scripts/deps.sh test packaging windows arm64` installs.
# TAVOREN_WINDOWS=0 leaves out 3 and 4 (no MinGW, no Wine), TAVOREN_WEB=0
# leaves out 5.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
dist=$root/dist
suite=test-packages
# phase, done_phase, fail, require_tools
# shellcheck source=tests/lib/suite.sh
. "$root/tests/lib/suite.sh"

# start_xvfb, use_wine_prefix, check_game_window
# shellcheck source=tests/lib/wine-game.sh
. "$root/tests/lib/wine-game.sh"

with_windows=1
[ "${TAVOREN_WINDOWS:-1}" != 0 ] || with_windows=""
require_tools "scripts/deps.sh test packaging windows" \
  cmake cpack dpkg-deb lintian appstreamcli desktop-file-validate man localedef zcat unzip strings iconv \
  sha256sum Xvfb xwininfo xdotool import convert \
  ${with_windows:+x86_64-w64-mingw32-g++ wine wineboot wineserver}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tavoren-packages.XXXXXX")
xvfb_pid=""
wine_up=""
trap wine_cleanup EXIT
trap 'exit 130' INT TERM HUP

# --- 1. The artifacts ---------------------------------------------------------
phase "scripts/package"
scripts/package >"$tmp/package.log" 2>&1 || { cat "$tmp/package.log"; fail "scripts/package"; }
version=$(sed -n 's/^project(tavoren VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "no x.y.z version in CMakeLists.txt's project()"
arch=$(dpkg --print-architecture)
deb=$dist/tavoren_${version}_${arch}.deb
headless_deb=$dist/tavoren-headless_${version}_${arch}.deb
setup=$dist/tavoren-$version-windows-x64-setup.exe
zip=$dist/tavoren-$version-windows-x64.zip
web_zip=$dist/tavoren-web-$version.zip
want=("$deb" "$headless_deb")
[ -z "$with_windows" ] || want+=("$setup" "$zip")
with_web=""
if [ "${TAVOREN_WEB:-1}" != 0 ]; then
  with_web=1
  want+=("$web_zip")
fi
with_arm64=""
if [ "${TAVOREN_ARM64:-1}" != 0 ]; then
  with_arm64=1
  want+=("$dist/tavoren_${version}_arm64.deb" "$dist/tavoren-headless_${version}_arm64.deb")
fi
for f in "${want[@]}"; do
  [ -s "$f" ] || fail "scripts/package wrote no $(basename "$f")"
done
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "dist/SHA256SUMS does not match the files"
listed=$(awk '{print $2}' "$dist/SHA256SUMS" | LC_ALL=C sort)
expected=$(for f in "${want[@]}"; do basename "$f"; done | LC_ALL=C sort)
[ "$listed" = "$expected" ] || fail "SHA256SUMS lists $(tr '\n' ' ' <<<"$listed"), want $(tr '\n' ' ' <<<"$expected")"
for f in "${want[@]}"; do printf '   %9d bytes  %s\n' "$(stat -c %s "$f")" "$(basename "$f")"; done
done_phase

# --- 2. The Debian packages -----------------------------------------------------
phase "Debian packages"
# check_fields DEB PACKAGE SECTION DEPENDENCY...: the control fields.
check_fields() {
  local deb=$1 package=$2 section=$3
  shift 3
  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = "$package" ] || fail "$(basename "$deb"): Package: $(field Package)"
  [ "$(field Version)" = "$version" ] || fail "$(basename "$deb"): Version: $(field Version), want $version"
  [ "$(field Section)" = "$section" ] || fail "$(basename "$deb"): Section: $(field Section)"
  [ "$(field Architecture)" = "$arch" ] || fail "$(basename "$deb"): Architecture: $(field Architecture)"
  local depends dep
  depends=$(field Depends)
  for dep in "$@"; do
    awk -v RS='[,|]' '{print $1}' <<<"$depends" | grep -qxF "$dep" ||
      fail "$(basename "$deb"): Depends lacks $dep: $depends"
  done
}
# check_files DEB PATH...: every file of the package, and nothing else.
check_files() {
  local deb=$1
  shift
  dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | LC_ALL=C sort >"$tmp/deb-files"
  printf '%s\n' "$@" | LC_ALL=C sort >"$tmp/deb-want"
  diff -u "$tmp/deb-want" "$tmp/deb-files" >"$tmp/deb-files.diff" || {
    cat "$tmp/deb-files.diff"
    fail "the files of $(basename "$deb") differ from the list (- wanted, + found)"
  }
}
# Lintian: no error. Warnings and notes are shown; the report lists the ones
# kept and why.
check_lintian() {
  lintian --fail-on error --display-info "$1" >"$tmp/lintian.log" 2>&1 || {
    cat "$tmp/lintian.log"
    fail "lintian reports errors for $(basename "$1")"
  }
  grep -E '^[EWIP]:' "$tmp/lintian.log" | sed 's/^/   lintian /' || echo "   lintian $(basename "$1"): no tags"
}
# check_man PAGE: renders without warnings and names the version.
check_man() {
  local out
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$1" 2>"$tmp/man.err") || fail "man cannot show $1"
  [ ! -s "$tmp/man.err" ] || { cat "$tmp/man.err"; fail "$(basename "$1") renders with warnings"; }
  grep -q "$version" <<<"$out" || fail "$(basename "$1") does not name version $version"
}
# check_changelog FILE: its newest entry is this version.
check_changelog() {
  local head_line
  head_line=$(zcat "$1" | head -n1)
  [[ $head_line == *" ($version) "* ]] || fail "$1 starts with '$head_line', not version $version"
}

# The player's package: the panel's font, and the libraries dpkg-shlibdeps found.
check_fields "$deb" tavoren games fonts-ipafont-gothic libsdl2-2.0-0 libsdl2-ttf-2.0-0 libfontconfig1 libc6
check_files "$deb" usr/games/tavoren usr/share/applications/tavoren.desktop \
  usr/share/doc/tavoren/changelog.gz usr/share/doc/tavoren/copyright \
  usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/tavoren.png \
  usr/share/icons/hicolor/scalable/apps/tavoren.svg usr/share/man/man6/tavoren.6.gz \
  usr/share/man/ja/man6/tavoren.6.gz \
  usr/share/metainfo/io.github.tavoren.tavoren.metainfo.xml
check_lintian "$deb"

debroot=$tmp/deb-root
mkdir -p "$debroot"
dpkg-deb -x "$deb" "$debroot"
metainfo=$debroot/usr/share/metainfo/io.github.tavoren.tavoren.metainfo.xml
appstreamcli validate --pedantic --no-net "$metainfo" >"$tmp/appstream.log" 2>&1 || {
  cat "$tmp/appstream.log"
  fail "appstreamcli rejects the metainfo file"
}
grep -q '<id>io.github.tavoren.tavoren</id>' "$metainfo" || fail "the metainfo's id does not match its file name"
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[ -f "$debroot/usr/share/applications/$launchable" ] || fail "launchable $launchable is not in the package"
# The newest release entry is this version.
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n1 | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "the metainfo's newest release is $newest, not $version"
grep -q '<name xml:lang="ja">タヴォレン</name>' "$metainfo" || fail "no Japanese name in the metainfo"
sed 's/^/   appstreamcli: /' "$tmp/appstream.log"
# One name for the game everywhere: タヴォレン, also as the default.
grep -q '<name>タヴォレン</name>' "$metainfo" || fail "the metainfo's default name is not タヴォレン"
grep -q '<project_license>MIT</project_license>' "$metainfo" || fail "the metainfo has no project_license MIT"

desktop=$debroot/usr/share/applications/tavoren.desktop
desktop-file-validate "$desktop" >"$tmp/desktop.log" 2>&1 || { cat "$tmp/desktop.log"; fail "desktop-file-validate rejects tavoren.desktop"; }
[ ! -s "$tmp/desktop.log" ] || { cat "$tmp/desktop.log"; fail "desktop-file-validate has remarks"; }
grep -qx 'Name=タヴォレン' "$desktop" || fail "the desktop entry's name is not タヴォレン"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ -x "$debroot/usr/games/${exec_line%% *}" ] || fail "Exec=$exec_line is not in /usr/games"

check_changelog "$debroot/usr/share/doc/tavoren/changelog.gz"
check_man "$debroot/usr/share/man/man6/tavoren.6.gz"
check_man "$debroot/usr/share/man/ja/man6/tavoren.6.gz"
# Under a Japanese locale (built into the scratch folder: this machine may
# have none) man finds the Japanese page, from the unpacked package.
mkdir -p "$tmp/locale"
localedef -i ja_JP -f UTF-8 "$tmp/locale/ja_JP.UTF-8" 2>/dev/null || [ -e "$tmp/locale/ja_JP.UTF-8/LC_CTYPE" ] ||
  fail "localedef cannot build ja_JP.UTF-8"
ja_man=$(env -u LC_ALL -u LANGUAGE LOCPATH="$tmp/locale" LANG=ja_JP.UTF-8 MANPATH="$debroot/usr/share/man" \
  MANWIDTH=80 man --warnings 6 tavoren 2>"$tmp/man.err") || { cat "$tmp/man.err"; fail "man 6 tavoren under ja_JP.UTF-8"; }
[ ! -s "$tmp/man.err" ] || { cat "$tmp/man.err"; fail "the Japanese page renders with warnings"; }
grep -q '^説明' <<<"$ja_man" || fail "LANG=ja_JP.UTF-8 man 6 tavoren does not show the Japanese page"
echo "   LANG=ja_JP.UTF-8 man 6 tavoren: the Japanese page"
# The copyright file: machine-readable, MIT (Expat) for the game.
copyright=$debroot/usr/share/doc/tavoren/copyright
head -n1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not in the machine-readable format"
grep -qx 'License: Expat' "$copyright" || fail "the copyright file does not grant the MIT (Expat) licence"

# The unpacked game finds all its libraries on this system.
if ldd "$debroot/usr/games/tavoren" | grep -q 'not found'; then
  ldd "$debroot/usr/games/tavoren"
  fail "the packaged game misses libraries"
fi

# The driver's package: its own dependencies, none of the game's.
check_fields "$headless_deb" tavoren-headless utils libc6 libstdc++6
if dpkg-deb -f "$headless_deb" Depends | grep -qE 'sdl|font'; then
  fail "tavoren-headless depends on the game's libraries: $(dpkg-deb -f "$headless_deb" Depends)"
fi
check_files "$headless_deb" usr/bin/tavoren-headless usr/share/man/man1/tavoren-headless.1.gz \
  usr/share/doc/tavoren-headless/{README.md,copyright,changelog.gz} \
  usr/share/doc/tavoren-headless/examples/{rack,break,undo}.txt
check_lintian "$headless_deb"
dpkg-deb -x "$headless_deb" "$debroot"
check_changelog "$debroot/usr/share/doc/tavoren-headless/changelog.gz"
check_man "$debroot/usr/share/man/man1/tavoren-headless.1.gz"
[ "$("$debroot/usr/bin/tavoren-headless" --version)" = "tavoren-headless $version" ] ||
  fail "the packaged tavoren-headless --version does not say $version"
"$debroot/usr/bin/tavoren-headless" --help | grep -q '^usage: tavoren-headless' ||
  fail "the packaged tavoren-headless --help does not print the usage with status 0"
# Every path the installed README names exists in the package, and its
# examples run as it says.
hdoc=/usr/share/doc/tavoren-headless
for path in $(grep -oE '/usr/[A-Za-z0-9_./-]*[A-Za-z0-9]' "$debroot$hdoc/README.md" | sort -u); do
  [ -e "$debroot$path" ] || fail "the installed README names $path, which the package does not hold"
done
for example in rack break undo; do
  "$debroot/usr/bin/tavoren-headless" "$debroot$hdoc/examples/$example.txt" >"$tmp/example.out" ||
    fail "the installed example $example.txt fails"
  grep -qx 'end' "$tmp/example.out" || fail "the installed example $example.txt prints no state"
done
# It plays a script: the first tick of a rack judges it after 40 ms.
out=$(printf 'clock 1000\nshow\nsettle\nstate\n' | "$debroot/usr/bin/tavoren-headless") ||
  fail "the packaged tavoren-headless failed on a script"
{ grep -qx 'settled 40' <<<"$out" && grep -qx 'mode aiming' <<<"$out"; } ||
  fail "the packaged tavoren-headless did not settle a new rack in 40 ms: $out"
done_phase

phase "the packaged game in Xvfb (tests/window/window_test.sh)"
# The helper that sends a close box's message comes from the test build.
if [ ! -f build/CMakeCache.txt ]; then
  cmake --preset default >"$tmp/build.log" 2>&1 || { cat "$tmp/build.log"; fail "configure build/"; }
fi
cmake --build build --target tavoren-x11-close -j"$(nproc)" >"$tmp/build.log" 2>&1 ||
  { cat "$tmp/build.log"; fail "build tavoren-x11-close"; }
tests/window/window_test.sh "$debroot/usr/games/tavoren" build/tests/window/tavoren-x11-close \
  >"$tmp/window.log" 2>&1 || { cat "$tmp/window.log"; fail "the packaged game fails the window test"; }
grep -c '^ok:' "$tmp/window.log" | xargs printf '   window test passed (%s checks)\n'
done_phase

# --- 6. The arm64 Debian packages (here: the window test's helper is built above) ---
# check_arm64_packages: the game and the driver for arm64, checked against the
# amd64 ones just checked, and run under qemu-aarch64 on Debian's multiarch
# arm64 libraries.
check_arm64_packages() {
  local game_deb=$dist/tavoren_${version}_arm64.deb driver_deb=$dist/tavoren-headless_${version}_arm64.deb
  local root=$tmp/arm64-root amd64_deb arm64_deb
  require_tools "scripts/deps.sh arm64" qemu-aarch64
  arch=arm64 check_fields "$game_deb" tavoren games fonts-ipafont-gothic libsdl2-2.0-0 libsdl2-ttf-2.0-0 \
    libfontconfig1 libc6
  arch=arm64 check_fields "$driver_deb" tavoren-headless utils libc6 libstdc++6
  for arm64_deb in "$game_deb" "$driver_deb"; do
    amd64_deb=${arm64_deb/_arm64.deb/_${arch}.deb}
    diff <(dpkg-deb -c "$amd64_deb" | awk '{print $6}') <(dpkg-deb -c "$arm64_deb" | awk '{print $6}') ||
      fail "$(basename "$arm64_deb") holds other files than $(basename "$amd64_deb") (< amd64, > arm64)"
    check_lintian "$arm64_deb"
    dpkg-deb -x "$arm64_deb" "$root"
  done
  local program
  for program in "$root/usr/games/tavoren" "$root/usr/bin/tavoren-headless"; do
    # The ELF header's machine field: 183 is AArch64.
    [ "$(od -An -tu2 -j18 -N2 "$program" | tr -d ' ')" = 183 ] || fail "not an aarch64 program: $program"
    if qemu-aarch64 -E LD_TRACE_LOADED_OBJECTS=1 "$program" | grep 'not found'; then
      fail "$program misses arm64 libraries"
    fi
  done
  [ "$(qemu-aarch64 "$root/usr/bin/tavoren-headless" --version)" = "tavoren-headless $version" ] ||
    fail "the arm64 tavoren-headless --version does not say $version"
  # A script with frames: the very bytes and pictures of the amd64 driver.
  local side
  for side in amd64 arm64; do
    mkdir -p "$tmp/play-$side"
    { cat tools/driver/examples/break.txt; printf 'frame end.png\n'; } >"$tmp/play-$side/script.txt"
  done
  (cd "$tmp/play-amd64" && "$debroot/usr/bin/tavoren-headless" script.txt >stdout 2>stderr) ||
    fail "the amd64 tavoren-headless failed on examples/break.txt"
  (cd "$tmp/play-arm64" && qemu-aarch64 "$root/usr/bin/tavoren-headless" script.txt >stdout 2>stderr) ||
    fail "the arm64 tavoren-headless failed on examples/break.txt"
  diff -r "$tmp/play-amd64" "$tmp/play-arm64" || fail "the arm64 driver plays examples/break.txt differently"
  echo "   arm64 driver: examples/break.txt and its frame as on amd64"
  # The game, through a wrapper that runs it under the emulator.
  printf '#!/bin/sh\nexec qemu-aarch64 "%s" "$@"\n' "$root/usr/games/tavoren" >"$tmp/tavoren-arm64"
  chmod +x "$tmp/tavoren-arm64"
  tests/window/window_test.sh "$tmp/tavoren-arm64" build/tests/window/tavoren-x11-close \
    >"$tmp/window-arm64.log" 2>&1 || { cat "$tmp/window-arm64.log"; fail "the arm64 game fails the window test"; }
  grep -c '^ok:' "$tmp/window-arm64.log" | xargs printf '   arm64 game: window test passed under qemu (%s checks)\n'
}
if [ -n "$with_arm64" ]; then
  phase "arm64 Debian packages"
  check_arm64_packages
  done_phase
else
  echo "-- arm64 Debian packages: left out (TAVOREN_ARM64=0)"
fi
# --- end of 6 ------------------------------------------------------------------------

# --- 3. The portable zip --------------------------------------------------------
if [ -z "$with_windows" ]; then
  echo "-- Windows installer and zip: not built, not checked (TAVOREN_WINDOWS=0)"
else
phase "portable zip"
top=tavoren-$version-windows-x64
unzip -Z1 "$zip" | grep -v '/$' >"$tmp/zip-files"
[ "$(tr '\n' ' ' <"$tmp/zip-files")" = "$top/LICENSE.txt $top/tavoren.exe " ] ||
  fail "the zip holds $(tr '\n' ' ' <"$tmp/zip-files"), want $top/LICENSE.txt and $top/tavoren.exe"
mkdir -p "$tmp/zip"
unzip -q "$zip" -d "$tmp/zip"
zip_exe=$tmp/zip/$top/tavoren.exe
# The version block carries the version (UTF-16 strings in the resources).
strings -el "$zip_exe" | grep -qx "$version" || fail "tavoren.exe's version block does not say $version"
# The licence beside it: MIT, and the notice of winpthreads linked in.
zip_license=$tmp/zip/$top/LICENSE.txt
grep -q 'Copyright (c) 2026 The Tavoren developers' "$zip_license" || fail "LICENSE.txt lacks the MIT licence"
grep -q 'winpthreads' "$zip_license" || fail "LICENSE.txt lacks the winpthreads notice"
echo "   $top/tavoren.exe, version $version"
done_phase

# --- 4. The installer under Wine -------------------------------------------------
phase "installer: Xvfb and a fresh Wine prefix"
start_xvfb "$tmp"
use_wine_prefix "$tmp/wineprefix" "$tmp/wineboot.log"
drive_c=$WINEPREFIX/drive_c
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavoren'
# What the prefix holds: every file of drive C, and the Software part of the
# registry (machine and user) without Software\Wine, which is Wine's own
# state: it changes when Wine itself starts helpers, such as its debugger
# when some program crashes (noted below; the programs under test have their
# exit status checked).
snapshot() {
  (cd "$drive_c" && find . -type f | LC_ALL=C sort) >"$tmp/$1.files"
  local hive
  for hive in HKEY_LOCAL_MACHINE HKEY_CURRENT_USER; do
    wine regedit /E "$tmp/$1.$hive.reg" "$hive\\Software" >/dev/null 2>&1 || fail "regedit /E $hive"
    iconv -f UTF-16 -t UTF-8 "$tmp/$1.$hive.reg" | tr -d '\r' |
      awk '/^\[/ { skip = ($0 ~ /^\[HKEY_[A-Z_]+\\Software\\Wine(\\|\])/) } !skip' >"$tmp/$1.$hive.txt"
    grep -q "^\[$hive\\\\Software\\\\Microsoft" "$tmp/$1.$hive.txt" ||
      fail "the export of $hive\\Software holds no Microsoft key"
  done
  if grep -q '^\[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg\]' <(iconv -f UTF-16 -t UTF-8 "$tmp/$1.HKEY_CURRENT_USER.reg"); then
    echo "   note: Wine's debugger ran before this point: a program crashed under Wine"
  fi
}
wineserver -w
snapshot before
done_phase

phase "installer /S"
timeout 120 wine "$setup" /S >"$tmp/setup.log" 2>&1 || { cat "$tmp/setup.log"; fail "the installer failed"; }
wineserver -w
installed=$drive_c/Program\ Files/Tavoren
[ -f "$installed/tavoren.exe" ] || fail "no tavoren.exe in C:\\Program Files\\Tavoren (a 32-bit installer?)"
[ ! -e "$drive_c/Program Files (x86)/Tavoren" ] || fail "installed into Program Files (x86)"
cmp -s "$installed/tavoren.exe" "$zip_exe" || fail "the installed tavoren.exe is not the zip's"
[ -f "$installed/Uninstall.exe" ] || fail "no uninstaller"
cmp -s "$installed/LICENSE.txt" "$tmp/zip/$top/LICENSE.txt" || fail "the installed LICENSE.txt is not the zip's"
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/タヴォレン/タヴォレン.lnk"
[ -f "$shortcut" ] || fail "no Start-menu shortcut タヴォレン\\タヴォレン.lnk"
start_menu=$(dirname "$shortcut")
{ [ -f "$start_menu/Uninstall タヴォレン.lnk" ] && [ ! -e "$start_menu/Uninstall.lnk" ]; } ||
  fail "the uninstall shortcut is not 'Uninstall タヴォレン' in a non-Japanese Windows: $(ls "$start_menu")"
# The shortcut starts the installed game (its target, in the link's
# LinkInfo, in the ANSI code page) and shows the game's icon: the flag
# HasIconLocation (0x40 in the link flags at offset 20) with the game as the
# icon's file (a UTF-16 string).
strings "$shortcut" | grep -qxF 'C:\Program Files\Tavoren\tavoren.exe' ||
  fail "the Start-menu shortcut does not start C:\Program Files\Tavoren\tavoren.exe"
link_flags=$(od -An -tu1 -j20 -N1 "$shortcut" | tr -d ' ')
[ $((link_flags & 0x40)) -ne 0 ] || fail "the Start-menu shortcut has no icon location"
strings -el "$shortcut" | grep -qE '^.?C:\\Program Files\\Tavoren\\tavoren\.exe$' ||
  fail "the Start-menu shortcut's icon is not the installed tavoren.exe"
wine reg export "$uninstall_key" "$tmp/uninstall.reg" /y >/dev/null 2>&1 ||
  fail "no entry in the list of installed programs ($uninstall_key)"
iconv -f UTF-16 -t UTF-8 "$tmp/uninstall.reg" | tr -d '\r' >"$tmp/uninstall.txt"
for entry in '"DisplayName"="タヴォレン"' "\"DisplayVersion\"=\"$version\"" \
  '"DisplayIcon"="C:\\Program Files\\Tavoren\\tavoren.exe"' \
  '"UninstallString"="\"C:\\Program Files\\Tavoren\\Uninstall.exe\""'; do
  grep -qxF "$entry" "$tmp/uninstall.txt" || { cat "$tmp/uninstall.txt"; fail "the uninstall entry lacks $entry"; }
done
echo "   C:\\Program Files\\Tavoren: tavoren.exe, Uninstall.exe; Start-menu shortcut; uninstall entry $version"
done_phase

phase "installed tavoren.exe"
mkdir -p "$tmp/game"
check_game_window 'C:\Program Files\Tavoren\tavoren.exe' "$tmp/game" "$root/build/tests/window/tavoren-x11-close"
done_phase

phase "uninstaller /S"
timeout 120 wine 'C:\Program Files\Tavoren\Uninstall.exe' /S >"$tmp/uninstall.log" 2>&1 ||
  { cat "$tmp/uninstall.log"; fail "the uninstaller failed"; }
# The uninstaller runs on from a copy of itself in the temporary folder:
# wait until every program of the prefix has ended.
timeout 120 wineserver -w || fail "the uninstaller did not end"
snapshot after
# That copy stays in the user's temporary folder (Windows removes it at the
# next restart); anything else is left behind.
grep -vE '^\./users/[^/]+/Temp/~nsu[^/]*\.tmp/Un\.exe$' "$tmp/after.files" >"$tmp/after-kept.files" || true
diff -u "$tmp/before.files" "$tmp/after-kept.files" >"$tmp/files.diff" ||
  { cat "$tmp/files.diff"; fail "files differ after uninstalling (+ left behind)"; }
for hive in HKEY_LOCAL_MACHINE HKEY_CURRENT_USER; do
  diff -u "$tmp/before.$hive.txt" "$tmp/after.$hive.txt" >"$tmp/reg.diff" ||
    { cat "$tmp/reg.diff"; fail "the registry ($hive\\Software) differs after uninstalling"; }
done
echo "   no file and no registry key left behind"
done_phase

phase "installer /S and uninstaller /S in a Japanese Windows"
# The same prefix, with Wine's display language Japanese (the locale built
# into the scratch folder above).
ja_wine=(env -u LC_ALL -u LANGUAGE LOCPATH="$tmp/locale" LANG=ja_JP.UTF-8 wine)
timeout 120 "${ja_wine[@]}" "$setup" /S >"$tmp/setup-ja.log" 2>&1 || { cat "$tmp/setup-ja.log"; fail "the installer failed (Japanese)"; }
wineserver -w
{ [ -f "$start_menu/タヴォレンのアンインストール.lnk" ] && [ ! -e "$start_menu/Uninstall.lnk" ]; } ||
  fail "the uninstall shortcut is not タヴォレンのアンインストール in a Japanese Windows: $(ls "$start_menu")"
strings "$start_menu/タヴォレンのアンインストール.lnk" | grep -qxF 'C:\Program Files\Tavoren\Uninstall.exe' ||
  fail "the Japanese uninstall shortcut does not start the uninstaller"
# The version blocks of the game and of the installer, as Windows reads
# them (tests/windows/file_version.cpp): product タヴォレン and the version.
x86_64-w64-mingw32-g++ -O1 -municode -static -o "$tmp/file_version.exe" tests/windows/file_version.cpp -lversion ||
  fail "compile tests/windows/file_version.cpp"
for exe in 'C:\Program Files\Tavoren\tavoren.exe' "$(winepath -w "$setup" 2>/dev/null)"; do
  blocks=$(wine "$tmp/file_version.exe" "$exe" ProductName ProductVersion) ||
    fail "no Japanese version block in $exe"
  [ "$blocks" = "$(printf 'ProductName=タヴォレン\nProductVersion=%s' "$version")" ] ||
    fail "the version block of $exe says: $blocks"
done
timeout 120 "${ja_wine[@]}" 'C:\Program Files\Tavoren\Uninstall.exe' /S >"$tmp/uninstall-ja.log" 2>&1 ||
  { cat "$tmp/uninstall-ja.log"; fail "the uninstaller failed (Japanese)"; }
timeout 120 wineserver -w || fail "the uninstaller did not end"
[ ! -e "$start_menu" ] || fail "the Japanese uninstaller left $(ls "$start_menu")"
echo "   Start menu: タヴォレン\\タヴォレンのアンインストール.lnk, removed again"
echo "   version blocks of tavoren.exe and the installer, read under Wine: ProductName タヴォレン, ProductVersion $version"
done_phase
fi # steps 3 and 4: with Windows

# --- 5. The web page ---------------------------------------------------------------
if [ -n "$with_web" ]; then
  phase "web zip"
  wtop=tavoren-web-$version
  unzip -Z1 "$web_zip" | grep -v '/$' | LC_ALL=C sort >"$tmp/web-files"
  (cd build-web/site && find . -type f | sed "s|^\./|$wtop/|" | LC_ALL=C sort) >"$tmp/web-want"
  diff -u "$tmp/web-want" "$tmp/web-files" || fail "the web zip's files differ from build-web/site (- missing, + extra)"
  grep -qx "$wtop/index.html" "$tmp/web-files" || fail "no $wtop/index.html in the web zip"
  grep -qx "$wtop/LICENSE.txt" "$tmp/web-files" || fail "no $wtop/LICENSE.txt in the web zip"
  mkdir -p "$tmp/web"
  unzip -q "$web_zip" -d "$tmp/web"
  diff -r build-web/site "$tmp/web/$wtop" >/dev/null || fail "the web zip's files differ in content from build-web/site"
  { grep -q 'The Tavoren developers' "$tmp/web/$wtop/LICENSE.txt" && grep -q 'Rich Felker' "$tmp/web/$wtop/LICENSE.txt"; } ||
    fail "the web zip's LICENSE.txt lacks the MIT licence or musl's notice"
  echo "   $(wc -l <"$tmp/web-files") files, as in build-web/site"
  done_phase
else
  echo "-- web zip: not built, not checked (TAVOREN_WEB=0)"
fi

echo "test-packages: all passed in $((SECONDS - started)) s"
