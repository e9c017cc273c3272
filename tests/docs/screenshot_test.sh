#!/usr/bin/env bash
# screenshot_test.sh DRIVER SCRIPT PNG: runs SCRIPT (which writes a frame
# named like PNG) through DRIVER in a scratch folder and requires the same
# bytes as the checked-in PNG. The driver's PNG encoding is deterministic,
# so equal bytes mean equal pixels.
set -euo pipefail
driver=$1 script=$2 png=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/tavoren-screenshot.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$script" "$work/"
(cd "$work" && "$driver" "$(basename "$script")" >driver.out 2>driver.err) || {
  cat "$work/driver.err" >&2
  echo "FAIL: the driver failed on $script" >&2
  exit 1
}
drawn=$work/$(basename "$png")
[ -f "$drawn" ] || { echo "FAIL: $script wrote no $(basename "$png")" >&2; exit 1; }
if ! cmp -s "$drawn" "$png"; then
  echo "FAIL: $png is not what the driver draws today; to renew it:" >&2
  echo "  (cd $(dirname "$script") && $driver $(basename "$script"))" >&2
  exit 1
fi
echo "ok: $png is what $script draws"
