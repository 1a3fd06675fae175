#!/usr/bin/env bash
# Installs the Debian packages Halvaro needs to build, test and package, only those
# missing. The last line are the checks of the package: desktop-entry and AppStream
# validators, man, dpkg-deb and dpkg-shlibdeps, and rsvg-convert for the icon's PNG.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev libsqlite3-dev qt6-base-dev mdbtools
          desktop-file-utils appstream man-db dpkg-dev librsvg2-bin)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
