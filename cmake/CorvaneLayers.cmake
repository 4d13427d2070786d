# The source folders under src/ are layers. Each is a static library
# corvane_<folder> (alias corvane::<folder>) linked to the layers it uses, and
# its files may include headers only from itself and, through the layers it
# uses, from the layers below. A check that runs before the folder compiles
# fails the build on an include of any other layer's header.

set(CORVANE_LAYER_CHECK ${CMAKE_CURRENT_LIST_DIR}/CheckLayerIncludes.cmake)

# Adds the include check of the files in the current folder to `target`.
# `allowed` lists the folders under src/ whose headers they may include.
function(corvane_check_includes target allowed)
  file(GLOB files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_includes.checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} "-DROOT=${CORVANE_SOURCE_ROOT}" "-DFOLDER=${CMAKE_CURRENT_SOURCE_DIR}"
            "-DALLOWED=${allowed}" "-DSTAMP=${stamp}" -P ${CORVANE_LAYER_CHECK}
    DEPENDS ${files} ${CORVANE_LAYER_CHECK}
    COMMENT "Checking the includes of ${target}"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()

# The layers `uses` name, with every layer below them.
function(corvane_layers_below out)
  set(below "")
  foreach(used ${ARGN})
    get_property(known GLOBAL PROPERTY CORVANE_LAYER_${used} SET)
    if(NOT known)
      message(FATAL_ERROR "${used} is not a layer defined before this one")
    endif()
    get_property(under GLOBAL PROPERTY CORVANE_LAYER_${used})
    list(APPEND below ${under})
  endforeach()
  list(REMOVE_DUPLICATES below)
  set(${out} ${below} PARENT_SCOPE)
endfunction()

# corvane_layer(<folder> SOURCES <file>... [USES <layer>...])
function(corvane_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;USES")
  set(target corvane_${name})
  add_library(${target} STATIC ${arg_SOURCES})
  add_library(corvane::${name} ALIAS ${target})
  corvane_target_options(${target})
  target_include_directories(${target} PUBLIC ${CORVANE_SOURCE_ROOT})
  corvane_layers_below(allowed ${arg_USES})
  foreach(used ${arg_USES})
    target_link_libraries(${target} PUBLIC corvane_${used})
  endforeach()
  list(PREPEND allowed ${name})
  set_property(GLOBAL PROPERTY CORVANE_LAYER_${name} ${allowed})
  corvane_check_includes(${target} "${allowed}")
endfunction()
