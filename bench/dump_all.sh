#!/usr/bin/env bash
# Every user table of a database to CSV with `halvaro dump`, the work that
# bench/mdb_export_all.sh does with mdb-export: by default one `halvaro dump FILE TABLE...`
# for all tables; with --per-table one process per table, as mdb-export needs.
# Usage: bench/dump_all.sh [--per-table] HALVARO FILE.mdb [OUT.csv]
set -euo pipefail
per_table=0
if [ "${1:-}" = "--per-table" ]; then per_table=1; shift; fi
halvaro="${1:?usage: dump_all.sh [--per-table] HALVARO FILE.mdb [OUT.csv]}"
file="${2:?usage: dump_all.sh [--per-table] HALVARO FILE.mdb [OUT.csv]}"
out="${3:-/dev/null}"
: > "$out"
tables=()
while IFS= read -r table; do tables+=("$table"); done < <(
  "$halvaro" dump "$file" | sed -n '/^Tables:/,/^Queries:/{/^  /s/^  \(.*\)  [0-9]* rows\{0,1\}$/\1/p}')
if [ "$per_table" = 1 ]; then
  for table in "${tables[@]}"; do "$halvaro" dump "$file" "$table" >> "$out"; done
else
  "$halvaro" dump "$file" "${tables[@]}" >> "$out"
fi
