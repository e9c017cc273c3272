#!/usr/bin/env bash
# install_test.sh CMAKE BUILD_DIR SOURCE_DIR PROGRAM...
# Installs BUILD_DIR into a scratch prefix and checks the result: each
# PROGRAM in bin/ and runnable, the desktop entry valid and pointing at an
# installed program and icon, the icon in every size the build ships.
set -euo pipefail
cmake_command=$1 build=$2 source=$3
shift 3
programs=("$@")

if ! command -v desktop-file-validate >/dev/null 2>&1; then
  echo "desktop-file-validate not found (package desktop-file-utils): skipped"
  exit 77
fi

prefix=$(mktemp -d "${TMPDIR:-/tmp}/tavoren-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

"$cmake_command" --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || {
  cat "$prefix.log"
  rm -f "$prefix.log"
  echo "FAIL: cmake --install" >&2
  exit 1
}
rm -f "$prefix.log"

for p in "${programs[@]}"; do
  [ -x "$prefix/bin/$p" ] || fail "bin/$p is not installed or not executable"
done

# The installed driver runs on its own, out of the build tree.
if [ -x "$prefix/bin/tavoren-headless" ]; then
  out=$(printf 'clock 1000\nshow\nsettle\nstate\n' | "$prefix/bin/tavoren-headless") ||
    fail "installed tavoren-headless failed"
  grep -q '^settled 40$' <<<"$out" || fail "installed tavoren-headless printed no 'settled 40'"
  grep -q '^mode aiming$' <<<"$out" || fail "installed tavoren-headless printed no 'mode aiming'"
fi

desktop=$prefix/share/applications/tavoren.desktop
svg=$prefix/share/icons/hicolor/scalable/apps/tavoren.svg
if ! printf '%s\n' "${programs[@]}" | grep -qx tavoren; then
  # Without the game there is nothing for a menu to start.
  [ ! -e "$desktop" ] || fail "tavoren.desktop is installed without the game"
elif [ ! -f "$desktop" ]; then
  fail "share/applications/tavoren.desktop is not installed"
else
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects tavoren.desktop"
  grep -qx 'Name=タヴォレン' "$desktop" || fail "the desktop entry's Name is not タヴォレン"
  exec_line=$(sed -n 's/^Exec=//p' "$desktop")
  [ -x "$prefix/bin/${exec_line%% *}" ] || fail "Exec=$exec_line names no installed program"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "Icon=$icon: no scalable/apps/$icon.svg in hicolor"

  if [ ! -f "$svg" ]; then
    fail "share/icons/hicolor/scalable/apps/tavoren.svg is not installed"
  else
    grep -q '<svg[^>]*xmlns="http://www.w3.org/2000/svg"' "$svg" || fail "tavoren.svg is not an SVG document"
    cmp -s "$svg" "$source/data/icons/tavoren.svg" || fail "the installed SVG is not data/icons/tavoren.svg"
  fi
  for dir in "$source"/data/icons/*x*/; do
    size=$(basename "$dir")
    png=$prefix/share/icons/hicolor/$size/apps/tavoren.png
    if [ ! -f "$png" ]; then
      fail "share/icons/hicolor/$size/apps/tavoren.png is not installed"
      continue
    fi
    # Bytes 16 to 23 of a PNG: width and height, big-endian.
    want=$(printf '%08x%08x' "${size%%x*}" "${size##*x}")
    got=$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')
    [ "$got" = "$want" ] || fail "hicolor/$size/apps/tavoren.png is not $size"
  done
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures installation check(s) failed" >&2
  exit 1
fi
echo "installed and checked: ${programs[*]}, desktop entry, icons"
