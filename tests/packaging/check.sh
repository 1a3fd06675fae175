#!/usr/bin/env bash
# Checks of what the Debian package ships, run by CTest:
#   check.sh desktop ENTRY          desktop-file-validate accepts the desktop entry
#   check.sh appstream METAINFO     appstreamcli accepts the AppStream metadata
#   check.sh manpage PAGE PROGRAM   man renders the page without warnings, and it
#                                   describes every subcommand the program has
#   check.sh deb BUILD_DIR          the package holds every file a desktop needs and
#                                   depends on the Debian packages of its libraries
set -euo pipefail

need() {
  command -v "$1" >/dev/null || { echo "FAIL: $1 is not installed (scripts/install-deps.sh installs it)"; exit 1; }
}
fail() { echo "FAIL: $*"; exit 1; }

case $1 in
  desktop)
    need desktop-file-validate
    desktop-file-validate "$2"
    ;;
  appstream)
    need appstreamcli
    appstreamcli validate --no-net "$2"
    ;;
  manpage)
    need man
    page=$2 program=$3
    warnings=$(mktemp)
    trap 'rm -f "$warnings"' EXIT
    rendered=$(MANWIDTH=80 man --warnings -l "$page" 2>"$warnings")
    [ ! -s "$warnings" ] || fail "man warns about $page: $(cat "$warnings")"
    for heading in NAME SYNOPSIS DESCRIPTION OPTIONS COMMANDS "EXIT STATUS"; do
      grep -q "^$heading" <<<"$rendered" || fail "the page has no $heading section"
    done
    commands=$("$program" --help | awk '/^[A-Z][A-Za-z ]*:$/ { s = $0; next } s == "Subcommands:" && /^  [^ ]/ { print $1 }')
    [ -n "$commands" ] || fail "$program --help lists no subcommands"
    for command in $commands; do
      grep -q "halvaro $command " <<<"$rendered" || fail "the page does not describe 'halvaro $command'"
    done
    echo "$page renders; it describes:" $commands
    ;;
  deb)
    need cpack
    need dpkg-deb
    build=$2
    out=$(mktemp -d)
    trap 'rm -rf "$out"' EXIT
    cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; fail "cpack failed"; }
    deb=$(ls "$out"/*.deb)
    contents=$(dpkg-deb --contents "$deb")
    for file in /usr/bin/halvaro \
                /usr/share/applications/org.halvaro.Halvaro.desktop \
                /usr/share/icons/hicolor/scalable/apps/org.halvaro.Halvaro.svg \
                /usr/share/icons/hicolor/128x128/apps/org.halvaro.Halvaro.png \
                /usr/share/man/man1/halvaro.1.gz \
                /usr/share/metainfo/org.halvaro.Halvaro.metainfo.xml; do
      grep -q " \.$file\$" <<<"$contents" || fail "the package lacks $file"
    done
    depends=$(dpkg-deb --field "$deb" Depends)
    for library in libqt6widgets6 libsqlite3; do
      grep -q "$library" <<<"$depends" || fail "the package does not depend on $library (Depends: $depends)"
    done
    # The menu entry must start the program the package installs, for .mdb files.
    entry=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/applications/org.halvaro.Halvaro.desktop)
    grep -q '^Exec=halvaro %f$' <<<"$entry" || fail "the desktop entry does not start halvaro with the chosen file"
    grep -q '^MimeType=.*application/x-msaccess;' <<<"$entry" || fail "the desktop entry does not offer to open .mdb files"
    echo "$(basename "$deb"): every file present; Depends: $depends"
    ;;
  *)
    fail "unknown check $1"
    ;;
esac
