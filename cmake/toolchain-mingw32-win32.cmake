# Cross build of the product binaries (setup.exe, stptool.exe) for 32-bit Windows.
#
# The win32 thread model of mingw-w64 is used on purpose: the posix model links winpthreads, which
# imports GetTickCount64, and Windows XP refuses to start a program that imports it. Everything is
# linked statically so that each binary is one file. scripts/check-xp-imports verifies the result.
set(CMAKE_SYSTEM_NAME Windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-arch.cmake)
set(CMAKE_C_COMPILER ${_stp_prefix}-gcc-win32)
set(CMAKE_CXX_COMPILER ${_stp_prefix}-g++-win32)
set(CMAKE_RC_COMPILER ${_stp_prefix}-windres)
set(CMAKE_AR ${_stp_prefix}-gcc-ar-win32 CACHE FILEPATH "")
set(CMAKE_RANLIB ${_stp_prefix}-gcc-ranlib-win32 CACHE FILEPATH "")

include(${CMAKE_CURRENT_LIST_DIR}/mingw32-common.cmake)

# Release builds carry no symbols: the setup program is downloaded by every user.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT -s)
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT -s)

# Link-time optimisation for the optimised builds: the setup program is about 10 % smaller.
# One partition: GCC 12 for mingw-w64 otherwise stops with an internal error in some links.
# Not combined with -fdata-sections: with both, GCC puts the zero-filled tables that the ciphers
# compute at start-up into initialised data, 40 KB more in the file.
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION_RELEASE ON)
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION_MINSIZEREL ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT -flto-partition=none)
