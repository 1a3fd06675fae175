#!/usr/bin/env bash
# Builds the Debian package of Halvaro into ./build/package (installs what is missing
# and builds first). Install it with:  apt install ./build/package/halvaro_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
mkdir -p build/package
cpack --config build/CPackConfig.cmake -B build/package
ls build/package/*.deb
