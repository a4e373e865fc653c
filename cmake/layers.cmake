# One static library per folder, so that the tree shows the layers and the
# build enforces them. A library's headers are reached as "<prefix>/<file>.h"
# through an include root of its own that holds nothing but a link to the
# folder; a library therefore sees only its own folder and the folders it
# depends on, and an include that points up (or sideways to a folder it does
# not depend on) fails to build.
#
#   quenlith_library(NAME PREFIX prefix
#                    [PORTABLE sources...]   built natively too, under sanitizers and fuzzers
#                    [WINDOWS sources...]    built for Windows only
#                    [DEPENDS libraries...]  folders below this one
#                    [LINK items...])        further target_link_libraries items (Windows side)
#
# Natively only the PORTABLE sources are built; a folder without any has no
# native library.
function(quenlith_library name)
  cmake_parse_arguments(ARG "" "PREFIX" "PORTABLE;WINDOWS;DEPENDS;LINK" ${ARGN})
  set(sources ${ARG_PORTABLE})
  if(WIN32)
    list(APPEND sources ${ARG_WINDOWS})
  endif()
  if(NOT sources AND NOT WIN32)
    return()
  endif()
  if(sources)
    add_library(${name} STATIC ${sources})
    set(scope PUBLIC)
  else()
    add_library(${name} INTERFACE)
    set(scope INTERFACE)
  endif()
  quenlith_include_root(${name} ${ARG_PREFIX} ${CMAKE_CURRENT_SOURCE_DIR} ${scope})
  foreach(dependency ${ARG_DEPENDS})
    if(TARGET ${dependency})
      target_link_libraries(${name} ${scope} ${dependency})
    endif()
  endforeach()
  if(WIN32 AND ARG_LINK)
    target_link_libraries(${name} ${ARG_LINK})
  endif()
endfunction()

# Gives `target` an include root of its own in which `folder` is reached as
# "<prefix>/...", and nothing else; `scope` is PUBLIC, PRIVATE or INTERFACE
# as for target_include_directories.
function(quenlith_include_root target prefix folder scope)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
  file(MAKE_DIRECTORY ${root})
  if(NOT EXISTS ${root}/${prefix})
    file(CREATE_LINK ${folder} ${root}/${prefix} SYMBOLIC)
  endif()
  target_include_directories(${target} ${scope} ${root})
endfunction()
