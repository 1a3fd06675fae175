#!/usr/bin/env bash
# The engine's reading half under AddressSanitizer and UndefinedBehaviorSanitizer: builds
# the fuzz harness into mutation_replay in build-sanitize/ and reads a fixed-seed corpus
# of damaged copies (flipped bytes, zeroed pages, truncation) of the small fixtures, or
# of the example databases when the fixtures are absent. Bounded: SECONDS_BOUND (default
# 240) of reading, the whole script killed after 20 minutes. Any finding fails it.
set -euo pipefail
cd "$(dirname "$0")/.."
bound="${SECONDS_BOUND:-240}"
build=build-sanitize
seeds=()
fixtures=../shared/fixtures
if [ -d "$fixtures" ]; then
  while IFS= read -r -d '' file; do seeds+=("$file"); done \
    < <(find "$fixtures" -name '*.mdb' -size -400k -print0 | sort -z)
fi
if ((${#seeds[@]} == 0)); then
  [ -x build/cli/halvaro ] || scripts/build.sh
  mkdir -p "$build/seeds"
  for script in examples/*.sql; do
    out="$build/seeds/$(basename "$script" .sql).mdb"
    rm -f "$out"
    build/cli/halvaro create "$out" "$script" >/dev/null
    seeds+=("$out")
  done
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
timeout 1200 bash -c "
  cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVARO_SANITIZE=ON >/dev/null &&
  cmake --build $build --target mutation_replay &&
  $build/tests/fuzz/mutation_replay --seconds $bound \"\$@\"" sanitize "${seeds[@]}"
