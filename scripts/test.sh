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
passed=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed ' "$log" || true)
failed=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*(Failed|Exception|Timeout|Not Run)' "$log" || true)
skipped=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*(\*\*\*| )Skipped ' "$log" || true)
echo "ctest: $passed passed, $failed failed, $skipped skipped"
exit "$status"
