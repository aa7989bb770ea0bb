#!/usr/bin/env bash
# Soak run: many cases in one process under valgrind's memcheck, which must find
# no error and no leak. Usage: bash tests/soak.sh [CASES] (default 100000).
# A thread that is still waiting for console events when the process ends is
# not a leak, so only definite and indirect losses count. CI runs a short form;
# the full 100000 cases take several minutes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cases=${1:-100000}
program=${SURGE_PROGRAM:-$root/build/surge}
work=$(mktemp -d /tmp/surge-soak-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$root/examples/srfparamsVelko.dat" "$root/examples/pslope.dat" "$work"
bash "$root/bench/make_answers.sh" "$cases" > "$work/answers.txt"
cd "$work"
status=0
FOR_READ=answers.txt valgrind --quiet --error-exitcode=99 --leak-check=full \
  --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
  --log-file=valgrind.log \
  "$program" > out.txt || status=$?
cat valgrind.log
reports=$(grep -c '^ Run another case' out.txt || true)
echo "soak: $cases cases, $reports reports, exit status $status"
[ "$status" = 0 ] && [ "$reports" = "$cases" ] && [ ! -s valgrind.log ]
