#!/usr/bin/env bash
# Installs the Debian packages of the named sets that are missing. Runs
# apt-get as root, or through sudo otherwise.
#
#   scripts/deps.sh SET...          install what is missing
#   scripts/deps.sh --list SET...   print the sets' packages, install nothing
#
# Sets (a leading -- is accepted: --play is play):
#   play       building and running the game (scripts/play)
#   test       the developer build, its tests, the window and sanitizer tests
#   windows    the MinGW-w64 cross compiler and Wine (empty with TAVOREN_WINDOWS=0)
#   packaging  scripts/package and its checks
#   web        the browser build and its tests (empty with TAVOREN_WEB=0)
#   arm64      the arm64 cross build (empty with TAVOREN_ARM64=0)
# No set at all means test and web.
set -euo pipefail

usage() {
  echo "usage: $0 [--list] play|test|windows|packaging|web|arm64 ..." >&2
  exit 2
}

windows_on() { [ "${TAVOREN_WINDOWS:-1}" != 0 ]; }
web_on() { [ "${TAVOREN_WEB:-1}" != 0 ]; }
arm64_on() { [ "${TAVOREN_ARM64:-1}" != 0 ]; }

# set_packages SET: the set's packages, one a line.
set_packages() {
  case $1 in
    play)
      # The compiler and build tools, the game's libraries and the panel's
      # Japanese font.
      printf '%s\n' cmake g++ make pkg-config libsdl2-dev libsdl2-ttf-dev libfontconfig-dev \
        libx11-dev fonts-ipafont-gothic
      ;;
    test)
      set_packages play
      # GoogleTest (its sources too, for the cross builds), Google Benchmark,
      # the driver's PNG writer; the window tests; the sanitizer and fuzz
      # builds; the installation check; the layout check of the sources; the
      # reader of the program's facts (--describe) in the window tests.
      printf '%s\n' googletest libgtest-dev libbenchmark-dev libstb-dev \
        xvfb xauth xdotool x11-utils imagemagick \
        clang libclang-rt-dev \
        desktop-file-utils clang-format jq
      ;;
    windows)
      # The cross build copies the stb headers and builds GoogleTest from
      # its sources.
      if windows_on; then printf '%s\n' cmake make g++-mingw-w64-x86-64 wine64 wine libstb-dev googletest; fi
      ;;
    packaging)
      # The Debian package (dependencies found by dpkg-shlibdeps, which
      # CPack calls on what `file` says is ELF), its lint, manual pages and
      # the catalogue check; zips and their dates, order and owners made
      # reproducible; the Windows installer.
      # The driver's package needs the PNG writer's header.
      printf '%s\n' libstb-dev dpkg-dev file lintian man-db groff-base appstream unzip \
        strip-nondeterminism
      # The package check builds a Japanese locale for man.
      echo locales
      if windows_on; then echo nsis; fi
      ;;
    web)
      if web_on; then
        # The page's build copies the stb headers; python3 serves it
        # (scripts/play-web).
        printf '%s\n' cmake make emscripten binaryen libstb-dev chromium nodejs python3
        # The page's icons, and the other two engines the page is tested in.
        printf '%s\n' librsvg2-bin firefox-esr webkit2gtk-driver
        # npm comes with some builds of node and as a package of its own
        # with others (--list names it always, as a fresh machine needs it).
        if [ -n "$list" ] || ! command -v npm >/dev/null 2>&1; then echo npm; fi
      fi
      ;;
    arm64)
      # The arm64 cross build (tests/arm64/run.sh, the arm64 packages):
      # the cross compiler, qemu-aarch64, and from Debian's multiarch the
      # arm64 libraries the game links and the cross-built programs run on.
      if arm64_on; then
        printf '%s\n' g++-aarch64-linux-gnu qemu-user libc6:arm64 libstdc++6:arm64 \
          libsdl2-dev:arm64 libsdl2-ttf-dev:arm64 libfontconfig-dev:arm64 libx11-dev:arm64
      fi
      ;;
    *) usage ;;
  esac
}

list=""
sets=()
for arg in "$@"; do
  case $arg in
    --list) list=1 ;;
    --*) sets+=("${arg#--}") ;;
    *) sets+=("$arg") ;;
  esac
done
[ ${#sets[@]} -gt 0 ] || sets=(test web)

packages=()
for s in "${sets[@]}"; do
  case $s in play | test | windows | packaging | web | arm64) ;; *) usage ;; esac
  mapfile -t -O ${#packages[@]} packages < <(set_packages "$s")
done
mapfile -t packages < <(printf '%s\n' "${packages[@]}" | awk 'NF && !seen[$0]++')

if [ -n "$list" ]; then
  [ ${#packages[@]} -eq 0 ] || printf '%s\n' "${packages[@]}"
  exit 0
fi

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
# Another apt may hold the lock (unattended upgrades): wait for it.
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=1800 update -q
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=1800 install -y -q --no-install-recommends "${missing[@]}"
