#!/usr/bin/env bash
# Cross-builds Halvaro for 64-bit Windows into ./build-windows, with Debian's MinGW-w64.
# Installs the Debian packages that are missing, then prepares, once, what the Windows
# build links that Debian has no Windows package of, all kept in build-windows/deps:
#   - SQLite's amalgamation, from Debian's source package of the very version the Linux
#     build links (fetched with apt-get source through an apt configuration of this
#     script's own, so that the machine's apt setup stays as it is);
#   - GoogleTest, from the sources Debian's googletest package installs.
# CLI11 is header-only: the build takes Debian's headers.
# Usage: scripts/build-windows.sh [cmake --build arguments...]   (default: -j1)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-windows
deps=$out/deps
toolchain=$root/cmake/toolchain-mingw-w64.cmake

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

install_missing() {
  # wine64 runs the tests; tcl, gcc and make build SQLite's amalgamation from its sources;
  # dpkg-dev unpacks the source package.
  local packages=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
                  wine64 libcli11-dev googletest libsqlite3-dev dpkg-dev tcl gcc make xz-utils)
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# deb-src entries for the suites the machine installs from: each deb822 stanza of
# /etc/apt/sources.list.d/*.sources that is enabled and has the type deb, and each
# one-line "deb" entry of sources.list and sources.list.d/*.list, turned into deb-src.
write_source_entries() {
  local apt=$1 f
  : >"$apt/sources.list"
  mkdir -p "$apt/sources.list.d"
  rm -f "$apt/sources.list.d"/*
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n -E 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$f" >>"$apt/sources.list"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         {
           n = split($0, line, "\n"); keep = 0; enabled = 1; text = ""
           for (i = 1; i <= n; i++) {
             if (line[i] ~ /^#/) continue
             if (tolower(line[i]) ~ /^enabled:[[:space:]]*no/) enabled = 0
             if (tolower(line[i]) ~ /^types:/) {
               if (line[i] ~ /[[:space:]]deb([[:space:]]|$)/) keep = 1
               line[i] = "Types: deb-src"
             }
             text = text line[i] "\n"
           }
           if (keep && enabled) printf "%s\n", text
         }' "$f" >"$apt/sources.list.d/$(basename "$f")"
  done
  if ! grep -qs . "$apt/sources.list" "$apt/sources.list.d"/*; then
    echo "build-windows: the machine's apt sources have no deb entry to derive a deb-src entry from" >&2
    exit 1
  fi
}

# Prints the folder holding sqlite3.c and sqlite3.h, building it on the first call.
sqlite_amalgamation() {
  local package version
  package=$(dpkg-query -W -f='${source:Package}' libsqlite3-dev)
  version=$(dpkg-query -W -f='${source:Version}' libsqlite3-dev)
  local folder=$deps/sqlite-$version
  if [ -f "$folder/sqlite3.c" ] && [ -f "$folder/sqlite3.h" ]; then
    echo "$folder"
    return
  fi
  local apt=$deps/apt work=$deps/sqlite-source
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
  write_source_entries "$apt"
  local apt_options=(-o "Dir::Etc::SourceList=$apt/sources.list"
                     -o "Dir::Etc::SourceParts=$apt/sources.list.d"
                     -o "Dir::State::Lists=$apt/lists"
                     -o "Dir::Cache=$apt/cache"
                     -o "APT::Sandbox::User=$(id -un)")
  echo "Fetching the source of $package $version" >&2
  apt-get "${apt_options[@]}" update -qq >&2
  rm -rf "$work"
  mkdir -p "$work"
  (cd "$work" && apt-get "${apt_options[@]}" source -qq --only-source "$package=$version") >&2
  local tree
  tree=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  [ -n "$tree" ] || { echo "build-windows: apt-get source unpacked nothing" >&2; exit 1; }
  mkdir -p "$folder.tmp"
  if [ -f "$tree/sqlite3.c" ] && [ -f "$tree/sqlite3.h" ]; then
    cp "$tree/sqlite3.c" "$tree/sqlite3.h" "$folder.tmp/"
  else
    echo "Building SQLite's amalgamation" >&2
    mkdir -p "$work/amalgamation"
    (cd "$work/amalgamation" && "$tree/configure" --quiet >/dev/null && make -s sqlite3.c >/dev/null) >&2
    cp "$work/amalgamation/sqlite3.c" "$work/amalgamation/sqlite3.h" "$folder.tmp/"
  fi
  rm -rf "$folder" "$work" "$apt"
  mv "$folder.tmp" "$folder"
  echo "$folder"
}

# Builds GoogleTest with the cross compiler once and prints its installation prefix.
googletest() {
  local prefix=$deps/googletest
  if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
    echo "Building GoogleTest for Windows" >&2
    cmake -S /usr/src/googletest -B "$deps/googletest-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
    cmake --build "$deps/googletest-build" -j1 >/dev/null
    cmake --install "$deps/googletest-build" >/dev/null
    rm -rf "$deps/googletest-build"
  fi
  echo "$prefix"
}

install_missing
mkdir -p "$deps"
sqlite=$(sqlite_amalgamation)
gtest=$(googletest)
if [ ! -f "$out/build.ninja" ]; then
  launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHALVARO_WERROR=ON "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DHALVARO_SQLITE_AMALGAMATION="$sqlite" \
    -DGTest_DIR="$gtest/lib/cmake/GTest"
fi
# The build runs programs it made (the test databases' builder) under Wine: the build's
# prefix is made first, outside the build's pipes, which Wine's services would keep open.
scripts/wine-run wineboot --init </dev/null >/dev/null 2>&1 || true
if (($#)); then
  cmake --build "$out" "$@"
else
  cmake --build "$out" -j1
fi
