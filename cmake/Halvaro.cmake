# halvaro_module(<name> [DEPS <targets>...] [EXCLUDE <files>...])
# Builds every .cpp of the calling folder and its subfolders, but the EXCLUDE ones (named
# relative to the folder), into the static library halvaro_<name>.
function(halvaro_module name)
  cmake_parse_arguments(M "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(file ${M_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
  add_library(halvaro_${name} STATIC ${sources})
  target_include_directories(halvaro_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(halvaro_${name} PUBLIC ${M_DEPS})
endfunction()

# Where the shared test databases live; tests that need them skip when it is absent.
set(HALVARO_FIXTURES_DIR "${PROJECT_SOURCE_DIR}/../shared/fixtures" CACHE PATH "Folder of the shared .mdb fixtures")
