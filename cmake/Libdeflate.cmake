# The target libdeflate::libdeflate: the whole-buffer zlib decoder of package members.
#
# Native builds use Debian's libdeflate-dev. Windows builds compile the same version from Debian's
# source package with the mingw-w64 compiler (scripts/libdeflate-mingw) when the tree is configured.
if(TARGET libdeflate::libdeflate)
  return()
endif()

if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(STP_LIBDEFLATE_MINGW_DIR ${CMAKE_BINARY_DIR}/libdeflate-mingw CACHE PATH
      "Where scripts/libdeflate-mingw puts libdeflate for Windows")
  execute_process(
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/libdeflate-mingw ${STP_LIBDEFLATE_MINGW_DIR}
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "scripts/libdeflate-mingw failed (${rc}); run scripts/deps first")
  endif()
  set(LIBDEFLATE_INCLUDE_DIR ${STP_LIBDEFLATE_MINGW_DIR}/include)
  set(LIBDEFLATE_LIBRARY ${STP_LIBDEFLATE_MINGW_DIR}/lib/libdeflate.a)
else()
  find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
  find_library(LIBDEFLATE_LIBRARY NAMES deflate REQUIRED)
endif()

add_library(libdeflate::libdeflate UNKNOWN IMPORTED)
set_target_properties(libdeflate::libdeflate PROPERTIES
  IMPORTED_LOCATION ${LIBDEFLATE_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${LIBDEFLATE_INCLUDE_DIR})
