# Cross build for 64-bit Windows with Debian's MinGW-w64 (scripts/build-windows.sh uses it):
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake
# The POSIX thread model, because std::thread and std::mutex need it with this compiler.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(halvaro_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${halvaro_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${halvaro_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${halvaro_mingw}-windres)

# Everything linked in, libwinpthread included, so that the programs need no DLL
# beyond Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Libraries and headers come from the compiler's own tree (and from the folders given
# on the command line in CMAKE_FIND_ROOT_PATH), never from the build machine's.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${halvaro_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs, and the programs the build runs, go through Wine (scripts/wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
