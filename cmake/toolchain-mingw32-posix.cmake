# Cross build of the Windows test binaries. GoogleTest needs std::mutex and
# std::condition_variable, which only the posix thread model of mingw-w64 provides. These binaries
# run under Wine and need not start on Windows XP; the product binaries use the win32 toolchain.
set(CMAKE_SYSTEM_NAME Windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-arch.cmake)
set(CMAKE_C_COMPILER ${_stp_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_stp_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${_stp_prefix}-windres)
set(CMAKE_AR ${_stp_prefix}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${_stp_prefix}-gcc-ranlib-posix CACHE FILEPATH "")

include(${CMAKE_CURRENT_LIST_DIR}/mingw32-common.cmake)
