#!/usr/bin/env bash
# Reproducible releases: scripts/package run in two clean clones of the last
# commit, in folders of different names and depths, one after the other (at
# different times), the second with another time zone, language and umask,
# must write the same bytes: the same SHA256SUMS. On a difference it names
# the files and shows where their contents differ.
#
# TAVOREN_REPRODUCIBLE_REFERENCE=DIR takes DIR/SHA256SUMS as the first build
# instead of building it again, e.g. dist/ just written by
# tests/packages/run.sh from this checkout (which must then be clean: no
# changes to tracked files). That halves the time.
# Needs what `scripts/deps.sh packaging windows` installs.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
suite=test-reproducible
# phase, done_phase, fail, require_tools
# shellcheck source=tests/lib/suite.sh
. "$root/tests/lib/suite.sh"
require_tools "scripts/deps.sh packaging windows" git cmake cpack dpkg-deb unzip sha256sum python3

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tavoren-reproducible.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM HUP
commit=$(git rev-parse HEAD)
echo "   commit $commit"

# build NAME FOLDER [ENV...]: a clean clone of the commit in FOLDER, packaged
# with the extra environment ENV; its dist/ is left there.
build() {
  local name=$1 folder=$2
  shift 2
  phase "build $name in $folder"
  git clone -q --no-hardlinks "$root" "$folder" || fail "git clone into $folder"
  git -C "$folder" checkout -q --detach "$commit" || fail "checkout $commit"
  (cd "$folder" && env "$@" scripts/package) >"$tmp/$name.log" 2>&1 || {
    cat "$tmp/$name.log"
    fail "scripts/package in $folder"
  }
  done_phase
}

if [ -n "${TAVOREN_REPRODUCIBLE_REFERENCE:-}" ]; then
  first=$(cd "$TAVOREN_REPRODUCIBLE_REFERENCE" && pwd)
  [ -f "$first/SHA256SUMS" ] || fail "no SHA256SUMS in $first"
  [ -z "$(git status --porcelain --untracked-files=no)" ] ||
    fail "TAVOREN_REPRODUCIBLE_REFERENCE needs a checkout without changes: $(git status --porcelain --untracked-files=no | head -n3)"
  echo "-- build 1: $first (this checkout)"
else
  build 1 "$tmp/one/tavoren"
  first=$tmp/one/tavoren/dist
fi
# shellcheck disable=SC2016 # $0 is for the inner shell
build 2 "$tmp/second-build/somewhere/else/src" TZ=Asia/Tokyo LANG=ja_JP.UTF-8 sh -c 'umask 002 && exec "$0"'
second=$tmp/second-build/somewhere/else/src/dist

phase "compare"
if diff -u "$first/SHA256SUMS" "$second/SHA256SUMS" >"$tmp/sums.diff"; then
  sed 's/^/   /' "$second/SHA256SUMS"
  done_phase
  echo "test-reproducible: all passed in $((SECONDS - started)) s"
  exit 0
fi
cat "$tmp/sums.diff"
# Where they differ: the members of each archive, listed with their times,
# modes and checksums.
listing() {
  local file=$1 out=$2
  case $file in
    *.deb)
      ar tv "$file" >"$out"
      dpkg-deb --ctrl-tarfile "$file" | tar -tv --full-time >>"$out"
      dpkg-deb --fsys-tarfile "$file" | tar -tv --full-time >>"$out"
      rm -rf "$out.x" && mkdir -p "$out.x" && dpkg-deb -x "$file" "$out.x" && (cd "$out.x" && find . -type f -exec sha256sum {} + | sort) >>"$out"
      ;;
    *.zip) unzip -Zv "$file" | grep -vE '^(Archive:| *offset of| *There is no)' >"$out" ;;
    *) cmp "$file" "$first/$(basename "$file")" >"$out" 2>&1 || true ;;
  esac
}
for f in $(awk '{print $2}' "$second/SHA256SUMS"); do
  cmp -s "$first/$f" "$second/$f" && continue
  echo "== $f differs"
  listing "$first/$f" "$tmp/one.list"
  listing "$second/$f" "$tmp/two.list"
  diff "$tmp/one.list" "$tmp/two.list" | head -n 40
done
fail "two builds of $commit differ"
