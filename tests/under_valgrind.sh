#!/usr/bin/env bash
# Runs a test program under valgrind. Where valgrind cannot translate an
# instruction that this processor's libraries run, the run says which and
# exits 77, which ctest reports as skipped: the machine failed, not our code.
# Usage: under_valgrind.sh VALGRIND PROGRAM [ARGUMENTS...]
set -uo pipefail
valgrind=$1
shift
log=$(mktemp)
trap 'rm -f "$log"' EXIT

"$valgrind" -q --error-exitcode=1 --child-silent-after-fork=yes \
  --sigill-diagnostics=yes --log-file="$log" "$@"
status=$?
cat "$log" >&2

if [ "$status" -ne 0 ] && grep -q 'unhandled instruction bytes' "$log"; then
  where=$(grep -m1 -A3 'Illegal opcode' "$log" | grep -m1 -o 'at 0x[0-9A-F]*: .*' ||
    true)
  echo "SKIPPED: valgrind cannot run on this processor:" \
    "$(grep -m1 -o 'unhandled instruction bytes.*' "$log")" \
    "${where:+($where)}" >&2
  exit 77
fi
exit "$status"
