#!/usr/bin/env bash
# Checks that under_valgrind.sh passes a clean run, fails on a fault of the
# program's own and skips only where valgrind cannot translate an instruction.
# Usage: under_valgrind_test.sh VALGRIND PROBE
set -uo pipefail
here=$(dirname "$0")
failed=0
for case in clean:0 overrun:1 untranslatable:77; do
  name=${case%%:*}
  want=${case##*:}
  output=$("$here/under_valgrind.sh" "$1" "$2" "$name" 2>&1)
  got=$?
  if [ "$got" -ne "$want" ]; then
    echo "$name: exit $got, expected $want"
    echo "$output"
    failed=1
  fi
done
exit "$failed"
