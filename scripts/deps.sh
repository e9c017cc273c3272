#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if any is
# missing. Runs apt-get as root, or through sudo otherwise.
#   --with-windows    also the MinGW-w64 cross compiler and Wine
#   --with-packaging  also what scripts/package and its checks need
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config
  libsdl2-dev libsdl2-ttf-dev libfontconfig-dev libx11-dev libstb-dev googletest
  libgtest-dev libbenchmark-dev
  # the panel's Japanese font
  fonts-ipafont-gothic
  # window tests
  xvfb xdotool x11-utils imagemagick xauth
  # sanitizer and fuzz builds
  clang libclang-rt-dev
  # installation check
  desktop-file-utils
  # the browser build and its tests (scripts/test-web.sh): the page's icons,
  # and the three engines the page is tested in
  emscripten binaryen chromium nodejs python3 librsvg2-bin firefox-esr webkit2gtk-driver
)
# npm comes with some builds of node and as a package of its own with others.
command -v npm >/dev/null 2>&1 || packages+=(npm)
for option in "$@"; do
  case $option in
    --with-windows)
      if [ "${TAVOREN_WINDOWS:-1}" != 0 ]; then
        packages+=(g++-mingw-w64-x86-64 wine64 wine)
      fi
      ;;
    --with-packaging)
      # scripts/package and its checks: the Debian package (dependencies
      # found by dpkg-shlibdeps, which CPack calls on what `file` says is
      # ELF), its lint and the catalogue check; the Windows installer; zips.
      # locales: the package check builds a Japanese locale for man.
      packages+=(dpkg-dev file lintian man-db groff-base appstream nsis unzip locales)
      ;;
    *)
      echo "usage: $0 [--with-windows] [--with-packaging]" >&2
      exit 2
      ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
