#!/usr/bin/env bash
# The manual page has one section (.SS) per command the program knows: each
# command of the usage text and --gui, --help, -h and --version, each in
# exactly one heading, and no heading names a command the program lacks.
# Usage: manual_sections.sh QUILLON PAGE
set -euo pipefail
quillon=$1 page=$2

commands=$("$quillon" --help | awk '/^Console & Batch Commands:/ {on = 1; next} on && /^  -/ {print $1}')
commands+=$'\n--gui\n--help\n-h\n--version'
# The options of each heading: its words that begin with a dash, "\-" read as "-".
headed=$(sed -n 's/^\.SS //p' "$page" | sed 's/\\-/-/g; s/\\f[BIRP]//g; s/"//g; s/,//g' |
  tr ' ' '\n' | grep '^-')

status=0
while read -r command; do
  count=$(grep -cxF -- "$command" <<<"$headed" || true)
  if [ "$count" -ne 1 ]; then
    echo "$page: $command has $count sections, not 1" >&2
    status=1
  fi
done <<<"$commands"
while read -r name; do
  if ! grep -qxF -- "$name" <<<"$commands"; then
    echo "$page: a section for $name, which is no command" >&2
    status=1
  fi
done <<<"$headed"
exit $status
