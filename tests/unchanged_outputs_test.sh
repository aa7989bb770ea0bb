#!/usr/bin/env bash
# surgekit's studies give the very bytes they gave before their evaluation was
# reorganised for speed: each command of tests/unchanged/commands.txt, run from
# the project root, against the output kept beside it (NAME.out). The grid
# storms share radii, as a storm grid does; the random cases reach every curve,
# both sides and the small-radius shift.
# Usage: unchanged_outputs_test.sh SURGEKIT PROJECT_ROOT [--threads N]
#   With --threads N, every subcommand that has the option runs on N threads.
# To renew the outputs after an intended change: run the commands by hand and
# say in the commit why the bytes changed.
set -euo pipefail
surgekit=$1 root=$2
threads=${4:-}
cd "$root"
failed=0 ran=0
while IFS='|' read -r name args; do
  name=${name// /}
  args=${args# }
  [[ -z $name || $name == \#* ]] && continue
  extra=()
  if [[ -n $threads ]] && "$surgekit" "${args%% *}" --help | grep -q -- '--threads'; then
    extra=(--threads "$threads")
  fi
  status=0
  # shellcheck disable=SC2086 # the arguments are words of the table
  out=$("$surgekit" $args "${extra[@]}" 2>/dev/null) || status=$?
  if [ "$status" != 0 ]; then
    echo "FAIL: $name: surgekit $args ${extra[*]} ended with status $status"
    failed=1
    continue
  fi
  ran=$((ran + 1))
  if ! diff <(printf '%s\n' "$out") "tests/unchanged/$name.out" >/tmp/unchanged-$$.diff; then
    echo "FAIL: $name: surgekit $args ${extra[*]} differs from tests/unchanged/$name.out:"
    head -5 /tmp/unchanged-$$.diff
    failed=1
  fi
done < tests/unchanged/commands.txt
rm -f /tmp/unchanged-$$.diff
[ "$ran" -ge 14 ] || { echo "FAIL: only $ran commands ran"; exit 1; }
[ "$failed" = 0 ] && echo "$ran commands gave their kept outputs${threads:+ on $threads threads}"
exit "$failed"
