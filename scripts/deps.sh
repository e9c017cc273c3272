#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if any is
# missing. Runs apt-get as root, or through sudo otherwise.
#   --with-windows    also the MinGW-w64 cross compiler and Wine
#   --with-packaging  also what scripts/package and its checks need
#   arm64             also the arm64 cross build and its emulator (see below)
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
  # the browser build and its tests (scripts/test-web.sh)
  emscripten binaryen chromium nodejs python3
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
      packages+=(dpkg-dev file lintian man-db groff-base appstream nsis unzip)
      ;;
    arm64 | --with-arm64)
      # The arm64 cross build (scripts/test-arm64.sh, the arm64 packages):
      # the cross compiler, qemu-aarch64, and from Debian's multiarch the
      # arm64 libraries the game links and the cross-built programs run on.
      if [ "${TAVOREN_ARM64:-1}" != 0 ]; then
        packages+=(g++-aarch64-linux-gnu qemu-user libc6:arm64 libstdc++6:arm64
          libsdl2-dev:arm64 libsdl2-ttf-dev:arm64 libfontconfig-dev:arm64 libx11-dev:arm64)
      fi
      ;;
    *)
      echo "usage: $0 [--with-windows] [--with-packaging] [arm64]" >&2
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
# Packages of another architecture (name:arm64) need that architecture added
# to dpkg first: a change to the machine's package set-up, announced here.
for p in "${missing[@]}"; do
  [[ $p == *:* ]] || continue
  arch=${p##*:}
  dpkg --print-foreign-architectures | grep -qx "$arch" && continue
  echo "Adding the package architecture $arch (dpkg --add-architecture $arch), so that apt"
  echo "can install the $arch libraries of the cross build beside this machine's own."
  "${sudo[@]}" dpkg --add-architecture "$arch"
done
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
