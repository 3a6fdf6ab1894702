#!/usr/bin/env bash
# The bash completion, sourced as bash-completion would load it: the commands
# of the usage text complete after "quillon", and the arguments complete as
# their kind (any file, a DAT or a folder).
# Usage: completion.sh QUILLON COMPLETION
set -euo pipefail
quillon=$1
source "$2"

status=0
# The completion of the words typed so far (the last one being completed).
completes() {
  local expected=$1
  shift
  COMP_WORDS=(quillon "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _quillon || : # compgen fails when nothing completes
  local got=""
  if [ ${#COMPREPLY[@]} -gt 0 ]; then
    got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' ')
  fi
  if [ "$got" != "$expected" ]; then
    echo "quillon $*<TAB>: got '$got', expected '$expected'" >&2
    status=1
  fi
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
mkdir roms sets
touch roms/a.gb set.dat Set.XML notes.txt

# Every command of the usage text completes from its first letters.
while read -r command; do
  COMP_WORDS=(quillon "$command") COMP_CWORD=1 COMPREPLY=()
  _quillon || : # compgen fails when nothing completes
  # grep reads to the end (no -q): under pipefail, printf cut off by an
  # early exit would fail the pipeline now and then.
  if ! printf '%s\n' "${COMPREPLY[@]}" | grep -xF -- "$command" >/dev/null; then
    echo "quillon $command<TAB> does not offer $command" >&2
    status=1
  fi
done < <("$quillon" --help | awk '/^Console & Batch Commands:/ {on = 1; next} on && /^  -/ {print $1}')

completes "--rebuild --rebuild-files " --reb
completes "--help " --he
completes "notes.txt " not
completes "Set.XML roms set.dat sets " --verify ""
completes "roms sets " --rebuild set.dat ""
completes "Set.XML notes.txt roms set.dat sets " --rebuild set.dat out ""
completes "roms/a.gb " --inspect roms/
completes "" --version ""
exit $status
