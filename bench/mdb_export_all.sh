#!/usr/bin/env bash
# The reference for bench_read_all: mdbtools' mdb-export of every user table to CSV.
set -euo pipefail
file="${1:?usage: mdb_export_all.sh FILE.mdb [OUT.csv]}"
out="${2:-/dev/null}"
: > "$out"
mdb-tables -1 "$file" | while IFS= read -r table; do
  mdb-export "$file" "$table" >> "$out"
done
