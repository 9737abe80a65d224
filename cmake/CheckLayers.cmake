# Checks that includes point down the layers, as the link graph intends:
#   platform <- net <- ftp <- access <- host <- console <- ui <- app
# A layer may include its own headers and those of the layers below it; nothing below ui
# includes a Qt header; no include climbs out of its folder with "..". The link graph alone does
# not catch a lower layer that includes a higher layer's header-only types, since every layer
# shares src/ as its include root; this check does.
#
# Every folder of src/ must be one of the layers (a new layer is added to the list below), and
# tests/<layer> is held to the same rule as src/<layer>.
#
# Run as a CTest test: cmake -DROOT=<source tree> -P cmake/CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)

set(layers platform net ftp access host console ui app)
list(FIND layers ui uiRank)

if(NOT ROOT OR NOT IS_DIRECTORY "${ROOT}/src")
  message(FATAL_ERROR "CheckLayers: ROOT must name a tree with a src/ folder (got '${ROOT}')")
endif()

set(violations "")
set(checked 0)

# Every include of every source file under ROOT/dir, held to the rank of its layer.
function(check_folder dir rank)
  file(GLOB_RECURSE files "${ROOT}/${dir}/*.h" "${ROOT}/${dir}/*.hpp" "${ROOT}/${dir}/*.cpp"
       "${ROOT}/${dir}/*.cc")
  foreach(file IN LISTS files)
    file(RELATIVE_PATH shown "${ROOT}" "${file}")
    math(EXPR checked "${checked} + 1")
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS lines)
      if(NOT line MATCHES "[<\"]([^>\"]+)[>\"]")
        continue()
      endif()
      set(included "${CMAKE_MATCH_1}")
      if(included MATCHES "(^|/)\\.\\.(/|$)")
        list(APPEND violations "${shown} includes ${included}: includes are written from src/, never with ..")
      endif()
      if(included MATCHES "^([^/]+)/")
        list(FIND layers "${CMAKE_MATCH_1}" includedRank)
        if(includedRank GREATER rank)
          list(APPEND violations "${shown} includes ${included}: ${CMAKE_MATCH_1} is above this layer")
        endif()
      endif()
      if(rank LESS uiRank AND included MATCHES "^Q[A-Za-z]*(/|$)")
        list(APPEND violations "${shown} includes ${included}: no Qt below ui")
      endif()
    endforeach()
  endforeach()
  set(violations "${violations}" PARENT_SCOPE)
  set(checked "${checked}" PARENT_SCOPE)
endfunction()

file(GLOB folders LIST_DIRECTORIES true RELATIVE "${ROOT}/src" "${ROOT}/src/*")
foreach(folder IN LISTS folders)
  if(NOT IS_DIRECTORY "${ROOT}/src/${folder}")
    continue()
  endif()
  list(FIND layers "${folder}" rank)
  if(rank EQUAL -1)
    list(APPEND violations "src/${folder}: not a layer (add it to the order in cmake/CheckLayers.cmake)")
    continue()
  endif()
  check_folder("src/${folder}" ${rank})
  if(IS_DIRECTORY "${ROOT}/tests/${folder}")
    check_folder("tests/${folder}" ${rank})
  endif()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Includes against the layer direction:\n  ${text}")
endif()
message(STATUS "Layer direction holds in ${checked} files")
