#!/usr/bin/env bash
# Builds the 64-bit Windows program and its tests (scripts/build-windows.sh installs what
# is missing) and runs every test under Wine through CTest, with the shared fixtures; the
# last line counts the tests that passed, failed and were skipped. Where the Linux build
# is there (build/, from scripts/test.sh), a test also compares the two builds' transfers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh -j "$(nproc)"
if [ -x build/cli/halvaro ]; then
  cmake build-windows -DHALVARO_LINUX_BINARY="$PWD/build/cli/halvaro" >/dev/null
  cmake --build build-windows -j "$(nproc)"
fi

export WINEPREFIX=$PWD/build-windows/wine WINEDEBUG=-all
# Every test starts Windows processes: one Wine server for the whole run saves each its
# start. Wine's services start with the first program and live as long as the server;
# started here, they hold no test's output pipe open (ctest would wait for its end).
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
"$wineserver" -p 2>/dev/null || true  # one may run already
trap '"$wineserver" -k || true' EXIT
scripts/wine-run wineboot --init </dev/null >/dev/null 2>&1 || true

log=build-windows/ctest.log
status=0
(cd build-windows && ctest --output-on-failure -j "$(nproc)") 2>&1 | tee "$log" || status=$?
scripts/ctest-summary "$log" "ctest (Windows, under Wine)"
exit "$status"
