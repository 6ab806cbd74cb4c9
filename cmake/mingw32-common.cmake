# Settings shared by both mingw-w64 toolchain files.
set(CMAKE_FIND_ROOT_PATH /usr/${_stp_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static archives only: the sysroot also has libz.dll.a, an import library for a zlib1.dll that
# we do not ship.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(ZLIB_USE_STATIC_LIBS ON)

# Test executables run under Wine (ctest, gtest_discover_tests).
if(_stp_arch STREQUAL "x86_64" AND EXISTS /usr/lib/wine/wine64)
  # Debian's `wine` starts the 32-bit loader whenever wine32 is installed.
  set(STP_WINE /usr/lib/wine/wine64)
else()
  find_program(STP_WINE wine)
endif()
if(STP_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${STP_WINE})
endif()
