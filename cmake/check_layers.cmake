# Fails when a folder of the logic includes a header of a folder above it.
# The folders of src/core, lowest first; each may include its own headers and
# those of the folders before it in this list, never those after it.
#   cmake -DCORE_DIR=<src/core> -P check_layers.cmake
set(layers text platform net sites history runs submit app)

file(GLOB_RECURSE files "${CORE_DIR}/*.h" "${CORE_DIR}/*.cpp")
set(violations "")
foreach(file IN LISTS files)
  file(RELATIVE_PATH relative "${CORE_DIR}" "${file}")
  string(REGEX MATCH "^[^/]+" layer "${relative}")
  list(FIND layers "${layer}" rank)
  if(rank EQUAL -1)
    string(APPEND violations "  ${relative}: folder '${layer}' is not one of the layers\n")
    continue()
  endif()
  file(STRINGS "${file}" includes REGEX "^#include \"core/")
  foreach(line IN LISTS includes)
    string(REGEX MATCH "core/([^/]+)/" _ "${line}")
    set(used "${CMAKE_MATCH_1}")
    list(FIND layers "${used}" usedRank)
    if(usedRank EQUAL -1 OR usedRank GREATER rank)
      string(APPEND violations "  ${relative} (${layer}) includes ${line}\n")
    endif()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "A lower layer of src/core includes a higher one:\n${violations}"
                      "Layers, lowest first: ${layers}")
endif()
list(LENGTH files count)
message(STATUS "src/core: ${count} files, every include points down")
