# Fails when a file of the program includes a header it must not see.
#   cmake -DSRC_DIR=<src> -P check_layers.cmake
# The folders of src/core, lowest first; each may include its own headers and
# those of the folders before it in this list, never those after it. The
# logic never includes a front end (src/cli, src/ui). The command-line tool
# draws what the logic below the windows' presenters does: it includes no
# presenter (core/app) and nothing of the window (src/ui); the window
# includes nothing of the command-line tool.
set(layers text platform net sites history runs submit app)

set(violations "")
file(GLOB_RECURSE files "${SRC_DIR}/*.h" "${SRC_DIR}/*.cpp")
set(counted 0)
foreach(file IN LISTS files)
  file(RELATIVE_PATH relative "${SRC_DIR}" "${file}")
  string(REGEX MATCH "^[^/]+" part "${relative}")
  if(NOT part MATCHES "^(core|cli|ui)$")
    continue()
  endif()
  math(EXPR counted "${counted} + 1")
  file(STRINGS "${file}" includes REGEX "^#include \"")
  if(part STREQUAL "core")
    string(REGEX MATCH "^core/([^/]+)/" _ "${relative}")
    set(layer "${CMAKE_MATCH_1}")
    list(FIND layers "${layer}" rank)
    if(rank EQUAL -1)
      string(APPEND violations "  ${relative}: folder '${layer}' is not one of the layers\n")
      continue()
    endif()
  endif()
  foreach(line IN LISTS includes)
    string(REGEX MATCH "^#include \"([^\"]*)\"" _ "${line}")
    set(header "${CMAKE_MATCH_1}")
    if(part STREQUAL "core")
      if(header MATCHES "^(cli|ui)/")
        string(APPEND violations "  ${relative}: the logic includes a front end: ${line}\n")
      elseif(header MATCHES "^core/([^/]+)/")
        list(FIND layers "${CMAKE_MATCH_1}" usedRank)
        if(usedRank EQUAL -1 OR usedRank GREATER rank)
          string(APPEND violations "  ${relative} (${layer}) includes a higher layer: ${line}\n")
        endif()
      endif()
    elseif(part STREQUAL "cli")
      if(header MATCHES "^(core/app|ui)/")
        string(APPEND violations
               "  ${relative}: the command-line tool includes the window's: ${line}\n")
      endif()
    elseif(part STREQUAL "ui")
      if(header MATCHES "^cli/")
        string(APPEND violations
               "  ${relative}: the window includes the command-line tool's: ${line}\n")
      endif()
    endif()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes that cross a layer the wrong way:\n${violations}"
                      "Layers of src/core, lowest first: ${layers}")
endif()
message(STATUS "src: ${counted} files, every include points down")
