#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; the last line counts the tests
# that passed, failed and were skipped (a skipped test says why in its output).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
log=build/ctest.log
status=0
(cd build && ctest --output-on-failure -j "$(nproc)") 2>&1 | tee "$log" || status=$?
scripts/ctest-summary "$log"
exit "$status"
