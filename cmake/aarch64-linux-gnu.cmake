# Cross build for 64-bit ARM Linux (Raspberry Pi OS 64-bit, Debian and Ubuntu
# on arm64) with Debian's cross compiler (package g++-aarch64-linux-gnu). The
# game links the arm64 SDL2, SDL2_ttf and fontconfig of Debian's multiarch
# (dpkg --add-architecture arm64; libsdl2-dev:arm64 and friends); the driver
# and the tests need only the C and C++ runtimes. Programs run under
# qemu-aarch64 (package qemu-user).
#
#   cmake --preset arm64      (or -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake)

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(TAVOREN_ARM64_TRIPLET aarch64-linux-gnu)
find_program(TAVOREN_ARM64_CXX ${TAVOREN_ARM64_TRIPLET}-g++)
find_program(TAVOREN_ARM64_CC ${TAVOREN_ARM64_TRIPLET}-gcc)
if(NOT TAVOREN_ARM64_CXX OR NOT TAVOREN_ARM64_CC)
  message(FATAL_ERROR "${TAVOREN_ARM64_TRIPLET}-g++ not found: install g++-aarch64-linux-gnu")
endif()
set(CMAKE_C_COMPILER ${TAVOREN_ARM64_CC})
set(CMAKE_CXX_COMPILER ${TAVOREN_ARM64_CXX})

# Libraries and headers: the cross compiler's own runtime under
# /usr/aarch64-linux-gnu and the multiarch ones (/usr/lib/aarch64-linux-gnu,
# /usr/include), never the host's x86-64 libraries; programs from the host.
set(CMAKE_LIBRARY_ARCHITECTURE ${TAVOREN_ARM64_TRIPLET})
set(CMAKE_FIND_ROOT_PATH /usr/${TAVOREN_ARM64_TRIPLET} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config's cross wrapper reads the arm64 .pc files only.
find_program(PKG_CONFIG_EXECUTABLE ${TAVOREN_ARM64_TRIPLET}-pkg-config)

# Lets CMake and the tests run the cross-built programs. With Debian's arm64
# C and C++ libraries installed (libc6:arm64, libstdc++6:arm64, which the
# arm64 SDL2 brings) they run on those, as on an arm64 Debian; otherwise on
# the cross compiler's copies.
find_program(TAVOREN_QEMU_AARCH64 qemu-aarch64)
if(TAVOREN_QEMU_AARCH64 AND EXISTS /lib/ld-linux-aarch64.so.1)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVOREN_QEMU_AARCH64})
elseif(TAVOREN_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVOREN_QEMU_AARCH64} -L /usr/${TAVOREN_ARM64_TRIPLET})
endif()
