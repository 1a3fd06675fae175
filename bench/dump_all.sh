#!/usr/bin/env bash
# Every user table of a database to CSV with `halvaro dump FILE TABLE`, one process per
# table as bench/mdb_export_all.sh does with mdb-export, so the two time the same work.
# Usage: bench/dump_all.sh HALVARO FILE.mdb [OUT.csv]
set -euo pipefail
halvaro="${1:?usage: dump_all.sh HALVARO FILE.mdb [OUT.csv]}"
file="${2:?usage: dump_all.sh HALVARO FILE.mdb [OUT.csv]}"
out="${3:-/dev/null}"
: > "$out"
"$halvaro" dump "$file" | sed -n '/^Tables:/,/^Queries:/{/^  /s/^  \(.*\)  [0-9]* rows\{0,1\}$/\1/p}' | while IFS= read -r table; do
  "$halvaro" dump "$file" "$table" >> "$out"
done
