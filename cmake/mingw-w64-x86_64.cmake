# Cross build for 64-bit Windows with Debian's MinGW-w64 toolchain
# (package g++-mingw-w64-x86-64). The programs are linked statically against
# the C and C++ runtimes, so each .exe runs on a bare Windows (or Wine)
# without any MinGW DLL next to it.
#
#   cmake --preset windows      (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVOREN_MINGW_TRIPLET x86_64-w64-mingw32)

# The posix thread model gives the complete C++ thread library; with -static
# its winpthread part is linked in like the rest of the runtime.
foreach(variant -posix "")
  find_program(TAVOREN_MINGW_CXX ${TAVOREN_MINGW_TRIPLET}-g++${variant})
  find_program(TAVOREN_MINGW_CC ${TAVOREN_MINGW_TRIPLET}-gcc${variant})
  if(TAVOREN_MINGW_CXX AND TAVOREN_MINGW_CC)
    break()
  endif()
endforeach()
if(NOT TAVOREN_MINGW_CXX)
  message(FATAL_ERROR "${TAVOREN_MINGW_TRIPLET}-g++ not found: install g++-mingw-w64-x86-64")
endif()
set(CMAKE_C_COMPILER ${TAVOREN_MINGW_CC})
set(CMAKE_CXX_COMPILER ${TAVOREN_MINGW_CXX})
find_program(CMAKE_RC_COMPILER ${TAVOREN_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW sysroot only, never from the
# host's /usr/include or /usr/lib; programs (wine, python) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TAVOREN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Lets CTest and CMake run the cross-built programs.
find_program(TAVOREN_WINE NAMES wine wine64)
if(TAVOREN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVOREN_WINE})
endif()
