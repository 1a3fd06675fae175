#!/usr/bin/env bash
# The Linux build's `halvaro transfer` against the Windows build's under Wine, on one
# generated old-version database of N invoices (default 64,000).
# The source is generated once (bench_generate_old of the Linux build) and an empty 5.1
# destination made once (`halvaro create ... examples/new-5.1.sql`); then each round runs
# `halvaro transfer --no-backup OLD COPY` with the Linux build and then with the Windows
# build through scripts/wine-run, each into a fresh copy of the empty destination, so that
# both builds see the same load on a shared machine. The whole command is timed, Wine's
# start of the process included. The first Wine start of a prefix (up to a minute: it
# makes the prefix) and the start of its server are excluded by one warm-up run of
# `halvaro.exe --version`, and the server is kept up between the runs (`wineserver -p`;
# it stays up afterwards until `wineserver -k`).
# Every run must end with exit status 0 and print the run's result "All data moved
# successfully...!"; one that does not counts as failed (its output's first lines go to
# standard error), is left out of the times, and makes the script end with status 1. The
# result line matters under Wine: a process that faults after its last commit can end
# with status 0 once Wine's debugger is done. Every run must store the same number of
# rows (summed from `halvaro dump` of the destination); the script stops otherwise.
# Prints the load average before each run, then a Markdown table: best and median wall
# seconds per build, the failed runs, the rows stored, and the Windows build's ratio to
# the Linux one.
# Usage: [REPEAT=R] bench/linux_vs_wine.sh LINUX_BUILD WINDOWS_BUILD [N]   (R default 3)
# WINEPREFIX defaults to WINDOWS_BUILD/wine, the prefix the Windows build's tests use.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "usage: [REPEAT=R] $0 LINUX_BUILD WINDOWS_BUILD [N]" >&2
  exit 2
fi
linux_build=$1
windows_build=$(cd "$2" && pwd)
invoices=${3:-64000}
repeat=${REPEAT:-3}
linux_halvaro=$linux_build/cli/halvaro
windows_halvaro=$windows_build/cli/halvaro.exe
for program in "$linux_halvaro" "$linux_build/bench/bench_generate_old" "$windows_halvaro"; do
  [ -x "$program" ] || [ -f "$program" ] || { echo "$0: $program not built" >&2; exit 1; }
done
export WINEPREFIX=${WINEPREFIX:-$windows_build/wine}
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The Windows program is given Windows paths, as a user would type them: Wine's drive Z:
# is the root of the file system.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

"$linux_build/bench/bench_generate_old" "$invoices" "$work/old.mdb" >&2
"$linux_halvaro" create "$work/new.mdb" examples/new-5.1.sql >/dev/null
# Exit status 2: a server already runs for the prefix; it is the one used.
"$wineserver" -p || true
scripts/wine-run "$windows_halvaro" --version >/dev/null

load() { awk '{print $1, $2, $3}' /proc/loadavg; }
stored_rows() { "$linux_halvaro" dump "$1" | awk '/ rows?$/ {sum += $(NF-1)} END {print sum + 0}'; }

# One timed transfer into a fresh copy of the empty destination; appends its seconds to
# $work/<build>.seconds and checks its rows against the first run's.
expected=""
run() {
  local build=$1
  shift
  cp "$work/new.mdb" "$work/dest.mdb"
  # The generator's file (or the last run's) is still being written back to disk: wait
  # for it, so that the run's own commits do not queue behind it.
  sync
  echo "$build run $round: load average $(load)" >&2
  local status=0
  /usr/bin/time -f "%e" -o "$work/time" "$@" >"$work/out" 2>&1 || status=$?
  local failed=0
  if [ "$status" -ne 0 ] || ! grep -aq "All data moved successfully" "$work/out"; then
    head -n 3 "$work/out" >&2
    echo "$build run $round failed: exit status $status, without the result line of a whole transfer" >&2
    echo x >>"$work/$build.failed"
    failed=1
  fi
  local rows
  rows=$(stored_rows "$work/dest.mdb")
  if [ -z "$expected" ]; then
    expected=$rows
  elif [ "$rows" != "$expected" ]; then
    echo "$0: the $build build stored $rows rows, an earlier run $expected" >&2
    exit 1
  fi
  [ "$failed" = 1 ] && return
  tail -n 1 "$work/time" >>"$work/$build.seconds"
  echo "$build run $round: $(tail -n 1 "$work/time") s, $rows rows" >&2
}

for round in $(seq "$repeat"); do
  run Linux "$linux_halvaro" transfer --no-backup "$work/old.mdb" "$work/dest.mdb"
  run Windows scripts/wine-run "$windows_halvaro" transfer --no-backup \
    "$(windows_path "$work/old.mdb")" "$(windows_path "$work/dest.mdb")"
done
echo "load average after the runs: $(load)" >&2

# Best and median of a build's runs ("- -" when none ended well), and its failed runs.
summary() {
  touch "$work/$1.seconds"
  sort -n "$work/$1.seconds" | awk '{t[NR] = $1}
    END {if (!NR) {print "- -"; exit}
         m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.2f %.2f\n", t[1], m}'
}
failures() { if [ -f "$work/$1.failed" ]; then wc -l <"$work/$1.failed"; else echo 0; fi; }
read -r linux_best linux_median <<<"$(summary Linux)"
read -r windows_best windows_median <<<"$(summary Windows)"
echo "| build | best s | median s | failed runs | rows stored | Windows/Linux (best, median) |"
echo "|---|---:|---:|---:|---:|---:|"
echo "| Linux | $linux_best | $linux_median | $(failures Linux) of $repeat | $expected | - |"
awk -v b="$windows_best" -v m="$windows_median" -v lb="$linux_best" -v lm="$linux_median" -v rows="$expected" \
  -v failed="$(failures Windows) of $repeat" \
  'BEGIN {ratio = (b == "-" || lb == "-") ? "-" : sprintf("%.2f, %.2f", b / lb, m / lm)
          printf "| Windows under Wine | %s | %s | %s | %d | %s |\n", b, m, failed, rows, ratio}'
[ "$(failures Linux)" = 0 ] && [ "$(failures Windows)" = 0 ]
