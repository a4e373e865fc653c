# The native side: formats, package builder, native tests and fuzz targets,
# plus the Windows side as an external project built with the mingw toolchain.

option(QUENLITH_SANITIZE "Build native code with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
set(QUENLITH_DEPS "$ENV{HOME}/.cache/quenlith-deps" CACHE PATH "Where scripts/setup.sh put the cross-compiled dependencies")
set(QUENLITH_REPORT_HOST "partner.quenlith.invalid" CACHE STRING "Host that receives the shipped installer's state reports")
set(QUENLITH_TEST_REPORT_PORT 48443 CACHE STRING "Port of the tests' report server on localhost")

if(QUENLITH_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
add_compile_options(-Wall -Wextra)
# Coverage for the fuzz targets' guidance, in everything they link.
if(QUENLITH_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

find_package(BZip2 REQUIRED)
find_package(Threads REQUIRED)

add_subdirectory(formats)
add_subdirectory(decode)
add_subdirectory(platform)
add_subdirectory(setup)

add_subdirectory(tools)

# The release build of the package builder alone (see below) stops here.
option(QUENLITH_PACK_ONLY "Build only the package builder" OFF)
if(QUENLITH_PACK_ONLY)
  return()
endif()

# The package builder as users run it, in build/release: optimised and
# without sanitizers, which cost it several times the memory and time. The
# sanitizer build above stays for the tests.
include(ExternalProject)
ExternalProject_Add(pack_release
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/release
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_ARGS
    -DCMAKE_BUILD_TYPE=Release
    -DQUENLITH_SANITIZE=OFF
    -DQUENLITH_PACK_ONLY=ON
    -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}
    -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target quenlith-pack
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")
set(QUENLITH_RELEASE_PACK ${CMAKE_BINARY_DIR}/release/tools/quenlith-pack)

include(ExternalProject)
# The Windows side for one architecture, in build/<folder>.
function(add_windows_build name folder arch)
  ExternalProject_Add(${name}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${folder}
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${arch}.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DQUENLITH_DEPS=${QUENLITH_DEPS}
      -DQUENLITH_PACK=$<TARGET_FILE:quenlith-pack>
      -DQUENLITH_REPORT_HOST=${QUENLITH_REPORT_HOST}
      -DQUENLITH_TEST_REPORT_HOST=localhost:${QUENLITH_TEST_REPORT_PORT}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    DEPENDS quenlith-pack)
endfunction()

# The installer as shipped: 32-bit.
add_windows_build(windows windows i686)
set(QUENLITH_WINDOWS_BIN ${CMAKE_BINARY_DIR}/windows/bin)

# What runs under Wine here. Where the machine cannot execute 32-bit programs
# at all, or where QUENLITH_WINE_ARCH=x86_64 asks for that path, the
# Windows-side tests and the main job's installation use a 64-bit build of
# the same sources. The request is kept in the cache, so the build folder
# stays on one path; its tests and scripts read the answer back (run-arch).
set(QUENLITH_WINE_ARCH "$ENV{QUENLITH_WINE_ARCH}" CACHE STRING
  "Architecture Wine runs here: empty to probe, x86_64 for the 64-bit path where 32-bit programs run too")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env QUENLITH_WINE_ARCH=${QUENLITH_WINE_ARCH} ${CMAKE_SOURCE_DIR}/tools/try/wine-arch.sh
  OUTPUT_VARIABLE QUENLITH_RUN_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE
  ERROR_VARIABLE probe_error RESULT_VARIABLE probe_result)
if(NOT probe_result EQUAL 0)
  message(FATAL_ERROR "${probe_error}")
endif()
if(QUENLITH_RUN_ARCH STREQUAL "i686")
  set(QUENLITH_RUN_DIR ${CMAKE_BINARY_DIR}/windows)
else()
  set(QUENLITH_RUN_ARCH x86_64)
  add_windows_build(windows-x86_64 windows-x86_64 x86_64)
  set(QUENLITH_RUN_DIR ${CMAKE_BINARY_DIR}/windows-x86_64)
  message(STATUS "Windows-side tests use the x86_64 build (QUENLITH_WINE_ARCH \"${QUENLITH_WINE_ARCH}\")")
endif()
set(QUENLITH_RUN_BIN ${QUENLITH_RUN_DIR}/bin)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/run-arch CONTENT "${QUENLITH_RUN_ARCH}\n")

# `quenlith-pack try` looks for its helpers in quenlith-try/ beside itself:
# the prefix script, the architecture probe, and the Windows helpers of the
# architecture this machine's Wine runs. Copied beside the release build and
# the sanitizer build alike.
if(QUENLITH_RUN_ARCH STREQUAL "i686")
  set(run_build windows)
else()
  set(run_build windows-x86_64)
endif()
set(try_helpers
  ${CMAKE_SOURCE_DIR}/tools/try/wine-env.sh
  ${CMAKE_SOURCE_DIR}/tools/try/wine-arch.sh
  ${QUENLITH_RUN_BIN}/runexit.exe
  ${QUENLITH_RUN_BIN}/pagewatch.exe
  ${QUENLITH_RUN_BIN}/desktopkeeper.exe)
add_custom_target(try_helpers ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/tools/quenlith-try ${CMAKE_BINARY_DIR}/release/tools/quenlith-try
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${try_helpers} ${CMAKE_BINARY_DIR}/tools/quenlith-try/
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${try_helpers} ${CMAKE_BINARY_DIR}/release/tools/quenlith-try/
  DEPENDS ${run_build} pack_release
  VERBATIM)

add_subdirectory(sample)

enable_testing()
add_subdirectory(tests)
