# The Windows architecture of a cross build: i686 (what ships: 32-bit programs run on every
# Windows) unless STP_WIN_ARCH=x86_64 is in the environment. The 64-bit build exists for the
# benchmarks on machines whose kernel executes no 32-bit code, where only 64-bit Wine runs at
# native speed (scripts/win-arch); the tests run the 32-bit programs everywhere.
# Read from the environment so that CMake's compiler checks, which re-read this file, agree.
set(_stp_arch "$ENV{STP_WIN_ARCH}")
if(_stp_arch STREQUAL "")
  set(_stp_arch i686)
endif()
if(NOT _stp_arch MATCHES "^(i686|x86_64)$")
  message(FATAL_ERROR "STP_WIN_ARCH must be i686 or x86_64, not '${_stp_arch}'")
endif()
set(CMAKE_SYSTEM_PROCESSOR ${_stp_arch})
set(_stp_prefix ${_stp_arch}-w64-mingw32)
