#!/usr/bin/env bash
# The manual pages render without a warning and describe every option and command that the
# programs' own --help lists.
# Usage: check_manuals.sh SOURCE_DIR ORVEX BRAVIK
set -uo pipefail
source=$1 orvex=$2 bravik=$3
export ASAN_OPTIONS=detect_leaks=0
status=0
fail() { echo "FAIL: $*"; status=1; }

for page in "$source"/doc/orvex.1 "$source"/doc/bravik.1; do
  warnings=$(LC_ALL=C.UTF-8 groff -man -ww -z -t "$page" 2>&1)
  [ -z "$warnings" ] || fail "${page##*/}: $warnings"
done

# Options as the page writes them: "\-\-name" in the source.
documented() { grep -qF -- "$(sed 's/-/\\-/g' <<<"$2")" "$1"; }
help=$("$orvex" --help) || fail "orvex --help"
for option in $(grep -oE -- '--[a-z][a-z-]*|(^| )-[a-z]\b' <<<"$help" | tr -d ' ' | sort -u); do
  documented "$source/doc/orvex.1" "$option" || fail "orvex.1 lacks $option"
done
help=$("$bravik" --help) || fail "bravik --help"
for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
  documented "$source/doc/bravik.1" "$option" || fail "bravik.1 lacks $option"
done
# Commands: the first word of each line of the help's command list.
for command in $(sed -n '/^commands:/,/^$/p' <<<"$help" | awk 'NR > 1 && /^  [a-z]/ {print $1}'); do
  grep -Eq "^\.(B|BI|BR) $(sed 's/-/\\\\-/g' <<<"$command")( |$)" "$source/doc/bravik.1" ||
    fail "bravik.1 lacks the command $command"
done
[ "$status" -eq 0 ] && echo PASS
exit "$status"
