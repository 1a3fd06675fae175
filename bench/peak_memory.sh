#!/usr/bin/env bash
# Peak memory of `halvaro transfer --no-backup` of a generated old-version database of N
# invoices (default 256,000), by the Linux build and by the Windows build under Wine, in
# turn, each into a fresh copy of an empty 5.1 database. Each build's bench_peak_memory
# starts the transfer as its child and reads the child's peak when it has ended: the peak
# resident set (wait4's ru_maxrss) on Linux, the peak working set (GetProcessMemoryInfo's
# PeakWorkingSetSize) on Windows. The source is generated once with the Linux build; it,
# the destination and the query layer's scratch file take about 12 KB per invoice of the
# temporary folder, checked first. Wine's first start of a prefix is excluded by one
# warm-up run, and its server is kept up between the runs (`wineserver -p`; it stays up
# afterwards until `wineserver -k`).
# Prints a Markdown table: build, wall and processor seconds, peak MiB, rows stored (each
# run must end with exit status 0, print "All data moved successfully...!", which a run
# that faulted after its last commit lacks even where Wine ends it with status 0, and store
# as many rows as the others). Wine reads a child's counters only while it runs
# (bench/process_usage_windows.cpp samples them) and gives no useful processor time for
# it: that column is left empty for the Windows build.
# Usage: [REPEAT=R] bench/peak_memory.sh LINUX_BUILD WINDOWS_BUILD [N]   (R default 1; the
# highest peak and the fastest run of each build are reported)
# WINDOWS_BUILD "-" measures the Linux build alone. WINEPREFIX defaults to WINDOWS_BUILD/wine.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "usage: [REPEAT=R] $0 LINUX_BUILD WINDOWS_BUILD|- [N]" >&2
  exit 2
fi
linux_build=$1
windows_build=$2
invoices=${3:-256000}
repeat=${REPEAT:-1}
linux_halvaro=$linux_build/cli/halvaro
builds=(Linux)
if [ "$windows_build" != - ]; then
  windows_build=$(cd "$windows_build" && pwd)
  builds+=(Windows)
  export WINEPREFIX=${WINEPREFIX:-$windows_build/wine}
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
free_kib=$(df -Pk "$work" | awk 'NR == 2 {print $4}')
need_kib=$((invoices * 12000 / 1024))
if [ "$free_kib" -lt "$need_kib" ]; then
  echo "$0: $((free_kib / 1024)) MiB free in $work, about $((need_kib / 1024)) MiB needed" >&2
  exit 1
fi
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
load() { awk '{print $1, $2, $3}' /proc/loadavg; }
stored_rows() { "$linux_halvaro" dump "$1" | awk '/ rows?$/ {sum += $(NF-1)} END {print sum + 0}'; }

"$linux_build/bench/bench_generate_old" "$invoices" "$work/old.mdb" >&2
"$linux_halvaro" create "$work/new.mdb" examples/new-5.1.sql >/dev/null
if [ "$windows_build" != - ]; then
  # Exit status 2: a server already runs for the prefix; it is the one used.
  "$(command -v wineserver || echo /usr/lib/wine/wineserver)" -p || true
  scripts/wine-run "$windows_build/bench/bench_peak_memory.exe" "$windows_build/cli/halvaro.exe" --version >/dev/null 2>&1
fi

expected=""
for round in $(seq "$repeat"); do
  for build in "${builds[@]}"; do
    cp "$work/new.mdb" "$work/dest.mdb"
    sync
    echo "$build run $round: load average $(load)" >&2
    status=0
    if [ "$build" = Linux ]; then
      "$linux_build/bench/bench_peak_memory" "$linux_halvaro" transfer --no-backup "$work/old.mdb" "$work/dest.mdb" \
        >"$work/out" 2>"$work/err" || status=$?
    else
      scripts/wine-run "$windows_build/bench/bench_peak_memory.exe" "$(windows_path "$windows_build/cli/halvaro.exe")" \
        transfer --no-backup "$(windows_path "$work/old.mdb")" "$(windows_path "$work/dest.mdb")" \
        >"$work/out" 2>"$work/err" || status=$?
    fi
    figures=$(grep -a '^peak_memory: exit' "$work/err" | tr -d '\r' || true)
    if [ "$status" -ne 0 ] || [ -z "$figures" ] || ! grep -aq "All data moved successfully" "$work/out"; then
      cat "$work/out" "$work/err" >&2
      echo "$0: the $build build's transfer ended with exit status $status, without its result line or with another" >&2
      exit 1
    fi
    rows=$(stored_rows "$work/dest.mdb")
    if [ -z "$expected" ]; then
      expected=$rows
    elif [ "$rows" != "$expected" ]; then
      echo "$0: the $build build stored $rows rows, an earlier run $expected" >&2
      exit 1
    fi
    echo "$build run $round: $figures, $rows rows" >&2
    # "peak_memory: exit 0, 16.45 s, cpu 22.49 s, peak 125.3 MiB (131386368 bytes)"
    echo "$figures" | sed -E 's/.*, ([0-9.]+) s, cpu ([0-9.]+) s, peak [0-9.]+ MiB \(([0-9]+) bytes\).*/\1 \2 \3/' \
      >>"$work/$build.runs"
  done
done
echo "load average after the runs: $(load)" >&2

echo "| build | invoices | seconds | CPU s | peak MiB | rows stored |"
echo "|---|---:|---:|---:|---:|---:|"
for build in "${builds[@]}"; do
  name=$build
  [ "$build" = Windows ] && name="Windows under Wine"
  sort -n "$work/$build.runs" | awk -v name="$name" -v n="$invoices" -v rows="$expected" -v wine="$([ "$build" = Windows ] && echo 1)" '
    NR == 1 {s = $1; c = wine ? "-" : sprintf("%.2f", $2)}
    {if ($3 > peak) peak = $3}
    END {printf "| %s | %d | %.2f | %s | %.1f | %d |\n", name, n, s, c, peak / 1048576, rows}'
done
