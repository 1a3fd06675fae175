#!/usr/bin/env bash
# Fills a seed corpus folder for the fuzz harness with the small fixture databases
# (the large benchmark file would only slow each run down). Nothing here is committed.
set -euo pipefail
corpus="${1:?usage: make_corpus.sh CORPUS_DIR [FIXTURES_DIR]}"
fixtures="${2:-$(dirname "$0")/../../../shared/fixtures}"
mkdir -p "$corpus"
find "$fixtures" -name '*.mdb' -size -400k -print0 |
  while IFS= read -r -d '' file; do
    cp "$file" "$corpus/$(echo "$file" | sed 's|.*/fixtures/||; s|/|_|g')"
  done
echo "$(ls "$corpus" | wc -l) seed files in $corpus"
