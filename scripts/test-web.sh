#!/usr/bin/env bash
# The browser build and its tests: the page and the driver compiled with
# emscripten (build-web/), the WebAssembly driver against the native one on
# every recorded script, every example and seeded random timelines, and the
# page played in headless Chromium, on a desktop and on a touch phone.
#
# Environment: TAVOREN_WEB_SEEDS=N random timelines (default 240).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
export NODE_PATH=/usr/share/nodejs

echo "== web: native reference build (build/)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVOREN_WERROR=ON >/dev/null
cmake --build build -j"$jobs" --target tavoren-headless tavoren_tests

echo "== web: emscripten build (build-web/)"
cmake --preset web >/dev/null
cmake --build --preset web -j"$jobs"

echo "== web: npm packages (tests/browser/)"
(
  cd tests/browser
  if ! cmp -s package-lock.json node_modules/.tavoren-package-lock.json; then
    npm ci --no-audit --no-fund --loglevel=error
    cp package-lock.json node_modules/.tavoren-package-lock.json
  fi
)

echo "== web: the WebAssembly driver against the native one"
timeout 1200 tests/driver_equivalence.sh build/tools/headless/tavoren-headless build/tests/tavoren_tests \
  "${TAVOREN_WEB_SEEDS:-240}" node --no-experimental-fetch "$PWD/build-web/tools/headless/tavoren-headless.js"

echo "== web: the page in headless Chromium"
timeout 600 node tests/browser/page_test.mjs build-web/site
echo "== web: the page on an emulated touch phone"
timeout 600 node tests/browser/touch_test.mjs build-web/site
echo "== web: all tests passed"
