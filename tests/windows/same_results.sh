#!/bin/sh
# same_results.sh LINUX_HALVARO WINDOWS_HALVARO FIXTURES_DIR BUILT_DATABASES [EMULATOR]
# The Linux build and the Windows build (run through EMULATOR, scripts/wine-run, when
# given) transfer the same old-version databases into copies of one empty 5.1 database,
# each with a JSON report. Both must exit alike, say the same, write the same rows into
# every table (each destination dumped by the Linux build, and by mdbtools where it is
# installed) and give the same account, file names aside. Each database is the shared
# fixture where present, else the one the build made. Exits 77 (skipped) when a
# database is missing, 1 on any difference.
set -u
[ $# -ge 4 ] || { echo "usage: $0 LINUX_HALVARO WINDOWS_HALVARO FIXTURES_DIR BUILT_DATABASES [EMULATOR]" >&2; exit 2; }
linux=$1
windows=$2
fixtures=$3
built=$4
emulator=${5:-}
# The Windows build sees the build machine's / as the drive Z: under Wine.
drive=
[ -n "$emulator" ] && drive=Z:

database() {
  if [ -f "$fixtures/$1" ]; then echo "$fixtures/$1"
  elif [ -f "$built/$1" ]; then echo "$built/$1"
  fi
}

run_windows() {
  if [ -n "$emulator" ]; then "$emulator" "$windows" "$@"; else "$windows" "$@"; fi
}

empty=$(database new-empty.mdb)
[ -n "$empty" ] || { echo "new-empty.mdb not found (neither in $fixtures nor in $built): skipped"; exit 77; }
for name in old-small.mdb old-medium.mdb; do
  [ -n "$(database "$name")" ] || { echo "$name not found (neither in $fixtures nor in $built): skipped"; exit 77; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/halvaro-same-results.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "DIFFERENT: $*"
  failures=$((failures + 1))
}

# A JSON account without the names of the files it was made from; the text of the
# other values with the run's folder and the source's name written alike.
account() {
  jq -S 'del(.source_file, .destination_file)' "$1" | sed -e "s|$2|DEST|g" -e "s|$3|SOURCE|g"
}

for name in old-small.mdb old-medium.mdb; do
  source=$(database "$name")
  stem=${name%.mdb}
  mkdir -p "$work/$stem/linux" "$work/$stem/windows"
  for side in linux windows; do
    cp "$empty" "$work/$stem/$side/new.mdb"
    chmod u+w "$work/$stem/$side/new.mdb"
  done

  "$linux" transfer "$source" "$work/$stem/linux/new.mdb" --no-backup --report "$work/$stem/linux/account.json" \
    >"$work/$stem/linux.out" 2>&1
  linux_status=$?
  run_windows transfer "$drive$source" "$drive$work/$stem/windows/new.mdb" --no-backup \
    --report "$drive$work/$stem/windows/account.json" >"$work/$stem/windows.out" 2>&1
  windows_status=$?
  echo "$name: the Linux build exited $linux_status, the Windows build $windows_status"
  # Wine reports a crash on the program's error output, and the exit status may not show it.
  if grep -q "Unhandled exception\|Unhandled page fault" "$work/$stem/windows.out"; then
    fail "$name: the Windows build crashed: $(grep -m 1 "Unhandled" "$work/$stem/windows.out")"
    grep -A 14 "^Backtrace:" "$work/$stem/windows.out"
  fi
  [ "$linux_status" = "$windows_status" ] || fail "$name: exit status $linux_status on Linux, $windows_status on Windows"
  # What each told, with its own names of the files written alike and Windows' line ends
  # as Linux's.
  sed -e "s|$work/$stem/linux/|DIR/|g" -e "s|$source|SOURCE|g" "$work/$stem/linux.out" >"$work/$stem/linux.said"
  tr -d '\r' <"$work/$stem/windows.out" | sed -e "s|$drive$work/$stem/windows/|DIR/|g" -e "s|$drive$source|SOURCE|g" \
    >"$work/$stem/windows.said"
  diff -u "$work/$stem/linux.said" "$work/$stem/windows.said" || fail "$name: the two builds' messages"

  for side in linux windows; do
    "$linux" check "$work/$stem/$side/new.mdb" >"$work/$stem/$side.check" 2>&1 ||
      fail "$name: the $side build's destination does not pass check: $(cat "$work/$stem/$side.check")"
    "$linux" dump "$work/$stem/$side/new.mdb" >"$work/$stem/$side.tables" 2>&1 ||
      fail "$name: the $side build's destination cannot be listed"
  done
  diff -u "$work/$stem/linux.tables" "$work/$stem/windows.tables" || fail "$name: the tables and their row counts"

  # Every table, row for row, in the order its pages hold them.
  tables=$(sed -n 's/^  \([A-Za-z0-9_]*\)  [0-9]* rows\{0,1\}$/\1/p' "$work/$stem/linux.tables")
  [ -n "$tables" ] || fail "$name: no table listed in: $(cat "$work/$stem/linux.tables")"
  for table in $tables; do
    for side in linux windows; do
      "$linux" dump "$work/$stem/$side/new.mdb" "$table" >"$work/$stem/$side.$table.csv" 2>&1 ||
        fail "$name: the $side build's $table cannot be dumped"
      if command -v mdb-export >/dev/null 2>&1; then
        mdb-export "$work/$stem/$side/new.mdb" "$table" >"$work/$stem/$side.$table.mdbtools.csv" 2>&1 ||
          fail "$name: mdbtools cannot read the $side build's $table"
      fi
    done
    cmp -s "$work/$stem/linux.$table.csv" "$work/$stem/windows.$table.csv" ||
      { fail "$name: table $table"; diff "$work/$stem/linux.$table.csv" "$work/$stem/windows.$table.csv" | head -20; }
    if [ -f "$work/$stem/linux.$table.mdbtools.csv" ]; then
      cmp -s "$work/$stem/linux.$table.mdbtools.csv" "$work/$stem/windows.$table.mdbtools.csv" ||
        fail "$name: table $table as mdbtools reads it"
    fi
  done

  for side in linux windows; do
    [ -f "$work/$stem/$side/account.json" ] || fail "$name: the $side build saved no report"
  done
  account "$work/$stem/linux/account.json" "$work/$stem/linux/" "$source" >"$work/$stem/linux.account"
  account "$work/$stem/windows/account.json" "$drive$work/$stem/windows/" "$drive$source" >"$work/$stem/windows.account"
  [ -s "$work/$stem/linux.account" ] || fail "$name: the Linux build's report is not JSON"
  diff -u "$work/$stem/linux.account" "$work/$stem/windows.account" || fail "$name: the JSON accounts"
  rows=$(sed -n 's/^  [A-Za-z0-9_]*  \([0-9]*\) rows\{0,1\}$/\1/p' "$work/$stem/linux.tables" | awk '{ n += $1 } END { print n + 0 }')
  echo "$name: $(echo $tables | wc -w) tables, $rows rows compared"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures difference(s) between the Linux and the Windows build"
  exit 1
fi
echo "The Linux and the Windows build wrote the same rows and the same accounts"
