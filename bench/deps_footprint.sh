#!/usr/bin/env bash
# What scripts/deps.sh's sets cost on a fresh Debian machine: apt resolves
# the sets' packages against an empty package database (a simulation,
# nothing is installed) and this prints how many packages that is and their
# installed size. A measurement, not a test.
#
# usage: bench/deps_footprint.sh SET...    for example: play, or test windows
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || { echo "usage: $0 SET..." >&2; exit 2; }
mapfile -t packages < <(scripts/deps.sh --list "$@")
empty=$(mktemp)
trap 'rm -f "$empty"' EXIT
# "Inst NAME [OLD] (VERSION ...)": every package apt would install.
apt-get -s --no-install-recommends -o Dir::State::status="$empty" install "${packages[@]}" |
  sed -n 's/^Inst \([^ ]*\) (\([^ ]*\) .*/\1 \2/p' >"$empty.inst"
mapfile -t pins < <(awk '{print $1 "=" $2}' "$empty.inst")
kb=$(apt-cache show "${pins[@]}" 2>/dev/null | awk '/^Package: /{p=$2} /^Installed-Size: /{if(!(p in s)){s[p]=1; t+=$2}} END{print t+0}')
printf '%s: %d packages, %d MB installed\n' "$*" "$(wc -l <"$empty.inst")" $((kb / 1024))
rm -f "$empty.inst"
