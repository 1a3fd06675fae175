# CLI11 for a cross build: the library is headers only, so the build machine's headers
# serve any target. They are copied into the build folder, because adding the machine's
# own include folder (/usr/include) would let its C library headers in too.
set(HALVARO_CLI11_HEADERS /usr/include/CLI CACHE PATH "Folder of CLI11's headers (CLI/CLI.hpp)")
if(NOT EXISTS ${HALVARO_CLI11_HEADERS}/CLI.hpp)
  message(FATAL_ERROR "HALVARO_CLI11_HEADERS=${HALVARO_CLI11_HEADERS} has no CLI.hpp (Debian: libcli11-dev)")
endif()
set(halvaro_cli11_include ${PROJECT_BINARY_DIR}/cli11/include)
file(COPY ${HALVARO_CLI11_HEADERS}/ DESTINATION ${halvaro_cli11_include}/CLI)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 INTERFACE ${halvaro_cli11_include})
