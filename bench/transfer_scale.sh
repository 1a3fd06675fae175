#!/usr/bin/env bash
# End-to-end benchmark of `halvaro transfer` on generated old-version databases of
# N invoices each (default 1k, 4k, 16k and 64k; pass 256000 1000000 for the large
# steps), each into a fresh empty 5.1 database.
# Prints a Markdown table: whole-process seconds (wall, and user + system CPU), rows
# stored per wall second, peak resident memory and the time ratio of each 4x step
# (linear growth is about 4x). Before each size it checks the free space of the
# temporary folder (the source, the destination and the query layer's scratch file
# together take about 12 KB per invoice) and stops with a note when it is short.
# REPEAT=R runs each size R times and reports its fastest run (and the highest peak):
# on a shared machine one slow spell can otherwise make a step look superlinear.
# WINDOW=1 starts each transfer in the window instead (bench_window_transfer, offscreen),
# whose libraries add to the peak.
# Usage: [REPEAT=R] [WINDOW=1] bench/transfer_scale.sh [BUILD_DIR] [N...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
sizes=${*:-1000 4000 16000 64000}
repeat=${REPEAT:-1}
halvaro=$build/cli/halvaro
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bytes_per_invoice=12000

"$halvaro" create "$work/new.mdb" examples/new-5.1.sql >/dev/null
echo "| invoices | source rows | rows stored | seconds | CPU s | rows/s | peak MiB | time ratio |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|"
previous=""
for n in $sizes; do
  free_kib=$(df -Pk "$work" | awk 'NR == 2 {print $4}')
  need_kib=$((n * bytes_per_invoice / 1024))
  if [ "$free_kib" -lt "$need_kib" ]; then
    echo "stopped before $n invoices: $((free_kib / 1024)) MiB free in $work, about $((need_kib / 1024)) MiB needed"
    break
  fi
  generated=$("$build/bench/bench_generate_old" "$n" "$work/old.mdb")
  source_rows=$(echo "$generated" | sed -E 's/.* ([0-9]+) rows in.*/\1/')
  seconds=""
  kib=0
  for _ in $(seq "$repeat"); do
    cp "$work/new.mdb" "$work/dest.mdb"
    # The generator's file (or the last run's) is still being written back to disk:
    # wait for it, so that the transfer's own commits do not queue behind it.
    sync
    status=0
    if [ "${WINDOW:-0}" = 1 ]; then
      QT_QPA_PLATFORM=offscreen /usr/bin/time -f "%e %U %S %M" -o "$work/time" \
        "$build/bench/bench_window_transfer" "$work/old.mdb" "$work/dest.mdb" >"$work/out" 2>&1 || status=$?
    else
      /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$halvaro" transfer "$work/old.mdb" "$work/dest.mdb" >"$work/out" || status=$?
    fi
    if [ "$status" -gt 1 ]; then cat "$work/out" >&2; exit "$status"; fi
    read -r run_seconds run_user run_system run_kib <"$work/time"
    if [ -z "$seconds" ] || awk -v a="$run_seconds" -v b="$seconds" 'BEGIN {exit !(a < b)}'; then
      seconds=$run_seconds user=$run_user system=$run_system
    fi
    if [ "$run_kib" -gt "$kib" ]; then kib=$run_kib; fi
  done
  stored=$("$halvaro" dump "$work/dest.mdb" | awk '/ rows?$/ {sum += $(NF-1)} END {print sum}')
  ratio="-"
  [ -n "$previous" ] && ratio=$(awk -v a="$seconds" -v b="$previous" 'BEGIN {printf "%.2f", a / b}')
  awk -v n="$n" -v src="$source_rows" -v rows="$stored" -v s="$seconds" -v u="$user" -v y="$system" -v k="$kib" -v r="$ratio" \
    'BEGIN {printf "| %d | %d | %d | %.2f | %.2f | %.0f | %.0f | %s |\n", n, src, rows, s, u + y, rows / s, k / 1024, r}'
  previous=$seconds
  rm -f "$work/old.mdb" "$work/dest.mdb"
done
