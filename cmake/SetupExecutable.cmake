# add_setup_executable(TARGET PRODUCT_DIR [PAYLOAD_TARGETS target...] [DESCRIPTION file])
#
# Makes a setup.exe for one product with `stptool build`, as a publisher outside this tree would.
# PRODUCT_DIR holds the product description product.ini (or DESCRIPTION names another one), which
# names the product's strings, pictures and payload folder (see `stptool build --help`).
# PAYLOAD_TARGETS are executables built in this tree (the product's own programs); their files join
# the root of the payload, which is staged in TARGET.dir/payload.
#
# stptool build runs natively (a Windows tree cannot run its own stptool.exe without Wine):
# configure with -DSTPTOOL=/path/to/native/stptool. The generic programs it writes into,
# setup-stub.exe and uninst-stub.exe (targets setup_stub, here, and uninst_stub, in uninstall/),
# are built in this tree.
#
# The result is TARGET/setup.exe in the current binary folder.

# The program part shared by every product: the Windows entry point over the wizard and its
# libraries. An object library, so that wWinMain is linked whatever the link order.
function(_stp_setup_program)
  if(TARGET stp_setup_program)
    return()
  endif()
  add_library(stp_setup_program OBJECT ${PROJECT_SOURCE_DIR}/startup/winmain.cpp)
  target_include_directories(stp_setup_program PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(stp_setup_program PUBLIC stp_startup stp_ui stp_platform)
endfunction()

# The generic setup program: the setup with its manifest and no product resources. stptool build
# writes a product's strings, pictures and package into a copy of it.
function(_stp_setup_stub)
  if(TARGET setup_stub)
    return()
  endif()
  _stp_setup_program()
  set(rc ${CMAKE_BINARY_DIR}/setup_stub.rc)
  file(GENERATE OUTPUT ${rc} CONTENT "1 24 \"${_stp_setup_default_manifest}\"\n")
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${_stp_setup_default_manifest})
  add_executable(setup_stub WIN32 ${rc})
  target_link_libraries(setup_stub PRIVATE stp_setup_program stp_string_instantiations)
  # The program's own sections keep the usual 512-byte file alignment: a page each would pad the
  # headers and ten sections by about 25 KB. What must lie on a page of the file, as of the image,
  # is the package, so that Wine maps it instead of copying it into private memory (200 MB of
  # package would become 200 MB of memory); stptool build starts the resource section that holds
  # it on a page of the file whatever the stub's alignment.
  target_link_options(setup_stub PRIVATE -municode -static -static-libgcc -static-libstdc++ -s
                      -Wl,--gc-sections -Wl,--file-alignment=512)
  set_target_properties(setup_stub PROPERTIES OUTPUT_NAME setup-stub
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/stubs)
endfunction()

set(STPTOOL "" CACHE FILEPATH "Native stptool that packs the payloads of setup executables")
set(_stp_setup_default_manifest ${CMAKE_CURRENT_LIST_DIR}/../products/setup.manifest)

function(add_setup_executable target product_dir)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "DESCRIPTION" "PAYLOAD_TARGETS")
  _stp_setup_stub()
  get_filename_component(product_dir "${product_dir}" ABSOLUTE)
  if(NOT arg_DESCRIPTION)
    set(arg_DESCRIPTION ${product_dir}/product.ini)
  endif()
  get_filename_component(description "${arg_DESCRIPTION}" ABSOLUTE)
  if(NOT EXISTS ${description})
    message(FATAL_ERROR "add_setup_executable: ${description} is missing")
  endif()
  if(NOT STPTOOL OR NOT EXISTS "${STPTOOL}")
    # Trees that build only tests or tools need no setup; say why it is missing and go on.
    message(WARNING "add_setup_executable: ${target} skipped: set STPTOOL to the native stptool "
                    "(build it first, then configure with -DSTPTOOL=.../tools/stptool)")
    return()
  endif()

  # The payload folder and the other files the description names, as stptool reads them.
  execute_process(COMMAND ${STPTOOL} build ${description} --list-inputs
                  OUTPUT_VARIABLE inputs ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "add_setup_executable: ${description}:\n${errors}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${description})
  set(payload_dir)
  set(product_files)
  string(REPLACE "\n" ";" lines "${inputs}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^([^\t]+)\t(.+)$")
      if(CMAKE_MATCH_1 STREQUAL "Payload")
        set(payload_dir "${CMAKE_MATCH_2}")
      else()
        list(APPEND product_files "${CMAKE_MATCH_2}")
      endif()
    endif()
  endforeach()
  if(NOT payload_dir)
    message(FATAL_ERROR "add_setup_executable: ${description} names no payload folder")
  endif()

  set(work ${CMAKE_CURRENT_BINARY_DIR}/${target}.dir)
  set(stage ${work}/payload)
  set(setup ${CMAKE_CURRENT_BINARY_DIR}/${target}/setup.exe)
  file(GLOB_RECURSE payload_files CONFIGURE_DEPENDS ${payload_dir}/*)
  set(copy_targets)
  foreach(t IN LISTS arg_PAYLOAD_TARGETS)
    list(APPEND copy_targets COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${t}> ${stage}/)
  endforeach()
  # The stage is made afresh each time, so a file removed from the payload leaves the package.
  add_custom_command(
    OUTPUT ${setup}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage} ${CMAKE_CURRENT_BINARY_DIR}/${target}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${payload_dir} ${stage}
    ${copy_targets}
    COMMAND ${STPTOOL} build ${description} -o ${setup} --payload ${stage}
            --stub-dir $<TARGET_FILE_DIR:setup_stub>
    DEPENDS ${description} ${payload_files} ${product_files} ${arg_PAYLOAD_TARGETS} ${STPTOOL}
            setup_stub uninst_stub
    COMMENT "Building the setup of ${target} with stptool build"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${setup})
endfunction()
