#!/usr/bin/env bash
# End-to-end benchmark of `halvaro transfer` on generated old-version databases of
# N = 1k, 4k, 16k and 64k invoices, each into a fresh empty 5.1 database.
# Prints a Markdown table: whole-process seconds, rows stored per second, peak memory
# and the time ratio of each 4x step (linear growth is about 4x).
# Usage: bench/transfer_scale.sh [BUILD_DIR] [N...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
sizes=${*:-1000 4000 16000 64000}
halvaro=$build/cli/halvaro
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$halvaro" create "$work/new.mdb" examples/new-5.1.sql >/dev/null
echo "| invoices | source rows | rows stored | seconds | rows/s | peak MiB | time ratio |"
echo "|---:|---:|---:|---:|---:|---:|---:|"
previous=""
for n in $sizes; do
  generated=$("$build/bench/bench_generate_old" "$n" "$work/old.mdb")
  source_rows=$(echo "$generated" | sed -E 's/.* ([0-9]+) rows in.*/\1/')
  cp "$work/new.mdb" "$work/dest.mdb"
  status=0
  /usr/bin/time -f "%e %M" -o "$work/time" "$halvaro" transfer "$work/old.mdb" "$work/dest.mdb" >"$work/out" || status=$?
  if [ "$status" -gt 1 ]; then cat "$work/out" >&2; exit "$status"; fi
  read -r seconds kib <"$work/time"
  stored=$("$halvaro" dump "$work/dest.mdb" | awk '/ rows$/ {sum += $(NF-1)} END {print sum}')
  ratio="-"
  [ -n "$previous" ] && ratio=$(awk -v a="$seconds" -v b="$previous" 'BEGIN {printf "%.2f", a / b}')
  awk -v n="$n" -v src="$source_rows" -v rows="$stored" -v s="$seconds" -v k="$kib" -v r="$ratio" \
    'BEGIN {printf "| %d | %d | %d | %.2f | %.0f | %.0f | %s |\n", n, src, rows, s, rows / s, k / 1024, r}'
  previous=$seconds
  rm -f "$work/old.mdb" "$work/dest.mdb"
done
