# The Windows side: the installer, the Windows build of the package builder,
# the test product double and the harness's helper programs.

set(QUENLITH_DEPS "" CACHE PATH "Where scripts/setup.sh put the cross-compiled dependencies")
set(QUENLITH_PACK "" CACHE FILEPATH "The native package builder, used to stamp the installer's image size")
set(QUENLITH_MINGW_ROOT ${QUENLITH_DEPS}/mingw-${CMAKE_SYSTEM_PROCESSOR})
if(NOT EXISTS ${QUENLITH_MINGW_ROOT}/lib/libbz2.a OR NOT EXISTS ${QUENLITH_MINGW_ROOT}/include/fmt/format.h)
  message(FATAL_ERROR "libbz2 and {fmt} for mingw are missing from ${QUENLITH_MINGW_ROOT}: run scripts/setup.sh")
endif()

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
# __FILE__ relative to the source tree, for log lines and reproducible builds.
# -Wrestrict: GCC 12 reports string concatenation in libstdc++ falsely (fixed in 13).
add_compile_options(-Wall -Wextra -Wno-restrict "-fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=")
add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601)
# No time stamp in the PE header, so the same sources give the same bytes.
add_link_options(-Wl,--no-insert-timestamp)

add_library(bzip2_mingw STATIC IMPORTED)
set_target_properties(bzip2_mingw PROPERTIES
  IMPORTED_LOCATION ${QUENLITH_MINGW_ROOT}/lib/libbz2.a
  INTERFACE_INCLUDE_DIRECTORIES ${QUENLITH_MINGW_ROOT}/include)
add_library(fmt_header_only INTERFACE)
target_include_directories(fmt_header_only SYSTEM INTERFACE ${QUENLITH_MINGW_ROOT}/include)
target_compile_definitions(fmt_header_only INTERFACE FMT_HEADER_ONLY)

add_subdirectory(formats)
add_subdirectory(decode)

add_subdirectory(resources)
add_subdirectory(platform)
add_subdirectory(setup)
add_subdirectory(tools)
add_subdirectory(tests/windows)
add_subdirectory(tests/product)
