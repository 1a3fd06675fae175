#!/usr/bin/env bash
# make-manpage.sh PROGRAM VERSION OUT
# Writes the manual page halvaro(1) from the program's own help: the description,
# options and exit status of `halvaro --help`, and every subcommand's --help. What the
# page says is what the program says, so the two cannot differ.
set -euo pipefail
program=$1 version=$2 out=$3

# Help text to roff: the lines before "Usage:" are the description; a line "Name:" at
# the left edge starts a list whose items are "  term   explanation" (explanations may
# go on over further, deeper-indented lines). MODE picks what is printed:
#   description, options, exit: those parts of the main help; command: a whole
#   subcommand's help under a subsection headed by its usage.
to_roff() {
  awk -v mode="$1" '
    function esc(s) {
      gsub(/\\/, "\\e", s)
      gsub(/-/, "\\-", s)
      if (s ~ /^[.\047]/) s = "\\&" s
      return s
    }
    function wanted(section) {
      return (mode == "options" && section == "Options") || (mode == "exit" && section == "Exit status") ||
             (mode == "command" && section != "Subcommands")
    }
    BEGIN { part = "description" }
    /^Usage: / {
      part = "usage"
      if (mode == "command") { sub(/^Usage: /, ""); print ".SS \"" esc($0) "\""; printf "%s", description }
      next
    }
    part == "description" {
      if ($0 == "") { description = description ".PP\n"; next }
      description = description esc($0) "\n"
      next
    }
    /^[A-Z][A-Za-z ]*:$/ { part = "list"; section = substr($0, 1, length($0) - 1)
      # Headed only once it has an item to show.
      heading = (mode == "command" && wanted(section)) ? ".PP\n" esc(section) ":" : ""
      next }
    # Every command has -h,--help; the page says so once, under OPTIONS.
    mode == "command" && /^  -h,--help / { next }
    part == "list" && wanted(section) && /^  [^ ]/ {
      line = substr($0, 3)
      split_at = match(line, /  +/)
      if (split_at == 0) { term = line; text = "" } else { term = substr(line, 1, split_at - 1); text = substr(line, split_at); sub(/^ +/, "", text) }
      if (heading != "") { print heading; heading = "" }
      print ".TP\n.B " esc(term)
      if (text != "") print esc(text)
      next
    }
    part == "list" && wanted(section) && /^   +[^ ]/ { line = $0; sub(/^ +/, "", line); print esc(line); next }
    END { if (mode == "description") printf "%s", description }
  '
}

main_help=$("$program" --help)
commands=$(printf '%s\n' "$main_help" | awk '/^[A-Z][A-Za-z ]*:$/ { s = $0; next } s == "Subcommands:" && /^  [^ ]/ { print $1 }')
[ -n "$commands" ] || { echo "make-manpage.sh: no subcommands found in '$program --help'" >&2; exit 1; }

{
  echo ".TH HALVARO 1 \"\" \"halvaro $version\" \"User Commands\""
  echo ".SH NAME"
  echo "halvaro \\- move a sales\\-tax application's records into a version 5.1 Access database"
  echo ".SH SYNOPSIS"
  echo ".B halvaro"
  echo ".br"
  echo ".B halvaro"
  echo ".I FILE.mdb"
  for command in $commands; do
    echo ".br"
    echo ".B halvaro $command"
    echo ".RI [ ARGUMENTS ]"
  done
  echo ".SH DESCRIPTION"
  printf '%s\n' "$main_help" | to_roff description
  echo ".SH OPTIONS"
  printf '%s\n' "$main_help" | to_roff options
  echo ".SH COMMANDS"
  for command in $commands; do
    "$program" "$command" --help | to_roff command
  done
  echo ".SH EXIT STATUS"
  printf '%s\n' "$main_help" | to_roff exit
} > "$out"
