# cmake -DSOURCE_DIR=<checkout> -P check_layers.cmake
# Fails when a source file includes a header of a higher layer. Layers, lowest first:
# the platform layer, the engine's folders, then the modules built on it. A file may include its own
# layer and any layer below it; project headers outside these layers are refused too.
set(layers
  platform jet/base jet/pages jet/tables jet/indexes jet/catalog jet/writer jet/builder
  sql db transfers app app/window cli)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers: pass -DSOURCE_DIR=<checkout>")
endif()

# The rank of the layer `path` (relative to the checkout) lies in; -1 when none.
function(layer_rank path out)
  set(rank -1)
  set(best_length 0)
  set(index 0)
  foreach(layer IN LISTS layers)
    string(LENGTH "${layer}/" length)
    string(SUBSTRING "${path}" 0 ${length} head)
    if(head STREQUAL "${layer}/" AND length GREATER best_length)
      set(rank ${index})
      set(best_length ${length})
    endif()
    math(EXPR index "${index} + 1")
  endforeach()
  set(${out} ${rank} PARENT_SCOPE)
endfunction()

set(problems "")
foreach(module platform jet sql db transfers app cli)
  file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/${module}/*.h ${SOURCE_DIR}/${module}/*.cpp)
  foreach(source IN LISTS sources)
    layer_rank("${source}" own)
    if(own EQUAL -1)
      list(APPEND problems "${source}: not inside a layer folder")
      continue()
    endif()
    list(GET layers ${own} own_name)
    file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
      layer_rank("${header}" target)
      if(target EQUAL -1)
        list(APPEND problems "${source}: includes ${header}, which is in no layer")
      elseif(target GREATER own)
        list(GET layers ${target} target_name)
        list(APPEND problems
          "${source}: includes ${header} (${target_name}) from the lower layer ${own_name}")
      endif()
    endforeach()
  endforeach()
endforeach()

# What differs between systems stays in platform/: no system header of POSIX or
# Windows, no test of the system being built for, anywhere else but in main().
set(system_headers
  "unistd\\.h" "fcntl\\.h" "sys/[a-z_/]+\\.h" "malloc\\.h" "iconv\\.h" "dirent\\.h" "pthread\\.h"
  "signal\\.h" "windows\\.h" "io\\.h" "direct\\.h" "winbase\\.h")
list(JOIN system_headers "|" system_header_pattern)
foreach(module jet sql db transfers app cli)
  file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/${module}/*.h ${SOURCE_DIR}/${module}/*.cpp)
  list(REMOVE_ITEM sources cli/main.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${SOURCE_DIR}/${source} lines
      REGEX "^[ \t]*#[ \t]*(include[ \t]*<(${system_header_pattern})>|(if|ifdef|ifndef|elif).*(_WIN32|__unix__|__linux__|__APPLE__))")
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      list(APPEND problems "${source}: ${line} belongs in platform/")
    endforeach()
  endforeach()
endforeach()

if(problems)
  # One unwrapped line per problem, so that each names its file plainly.
  foreach(problem IN LISTS problems)
    message(NOTICE "${problem}")
  endforeach()
  list(LENGTH problems count)
  message(FATAL_ERROR "check_layers: ${count} include(s) or system call(s) break the layering")
endif()
message(STATUS "check_layers: every include points down or within its layer")
