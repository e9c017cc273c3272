#!/usr/bin/env bash
# The browser build and its tests: the page and the driver compiled with
# emscripten (build-web/), the WebAssembly driver against the native one on
# every recorded script, every example and seeded random timelines, and the
# page played in three browser engines (Chromium and Firefox ESR headless,
# WebKitGTK's MiniBrowser in its own Xvfb): on a desktop, opened from disk;
# in Chromium also on a touch phone, installed and offline, and a soak; in
# Chromium and Firefox in a portal's frame; Lighthouse's scores in Chromium.
#
# Environment: TAVOREN_WEB_SEEDS=N random timelines (default 240);
# TAVOREN_SOAK_SECONDS (default 60) and TAVOREN_SOAK_SEED for the soak.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/deps.sh test web
jobs=$(nproc)
export NODE_PATH=/usr/share/nodejs

echo "== web: native reference build (preset default, build/)"
cmake --preset default >/dev/null
cmake --build build -j"$jobs" --target tavoren-headless tavoren_tests

echo "== web: emscripten build (build-web/)"
cmake --preset web >/dev/null
cmake --build --preset web -j"$jobs"

echo "== web: npm packages (tests/browser/)"
(
  cd tests/browser
  if ! cmp -s package-lock.json node_modules/.tavoren-package-lock.json; then
    # puppeteer-core downloads no browser; the variable makes sure of it.
    PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
    cp package-lock.json node_modules/.tavoren-package-lock.json
  fi
)

echo "== web: the WebAssembly driver against the native one"
timeout 1200 tests/lib/driver_equivalence.sh build/tools/driver/tavoren-headless build/tests/tavoren_tests \
  "${TAVOREN_WEB_SEEDS:-240}" node --no-experimental-fetch "$PWD/build-web/tools/driver/tavoren-headless.js"

# WebKitGTK's MiniBrowser needs a display: an Xvfb of our own, large
# enough for the page test's biggest window.
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tavoren-web.XXXXXX")
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
Xvfb -displayfd 9 -screen 0 2560x1440x24 -nolisten tcp 9>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$tmp/display" ] && break
  sleep 0.1
done
[ -s "$tmp/display" ] || { cat "$tmp/xvfb.log"; echo "web: FAIL: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(head -n1 "$tmp/display")"
export DISPLAY

for engine in chromium firefox webkit; do
  echo "== web: the page in $engine"
  timeout 600 node tests/browser/page_test.mjs build-web/site "$engine"
  echo "== web: the page opened from disk in $engine$([ "$engine" = chromium ] && echo ', installed and offline')"
  timeout 300 node tests/browser/install_test.mjs build-web/site "$engine"
done
for engine in chromium firefox; do
  echo "== web: the page in a portal's frame in $engine"
  timeout 300 node tests/browser/embed_test.mjs build-web/site "$engine"
done
echo "== web: Lighthouse, desktop and mobile (chromium)"
timeout 540 node tests/browser/lighthouse_test.mjs build-web/site
echo "== web: the page on an emulated touch phone (chromium)"
timeout 600 node tests/browser/touch_test.mjs build-web/site
echo "== web: the page's soak (chromium)"
timeout 900 node tests/browser/soak_test.mjs build-web/site
echo "== web: all tests passed"
