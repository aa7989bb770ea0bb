#!/usr/bin/env bash
# Builds the program and the benchmarks, runs them side by side and prints a table.
# Usage: bash bench/run.sh [CASES]   (default 20000 cases)
set -euo pipefail
cd "$(dirname "$0")/.."
cases=${1:-20000}
root=$PWD
cmake --preset default >/dev/null
cmake --build --preset default -j2 >/dev/null
build=$PWD/build
work=$(mktemp -d /tmp/surge-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp examples/srfparamsVelko.dat examples/pslope.dat "$work"
cd "$work"

make_answers() { bash "$root/bench/make_answers.sh" "$1" > "$2"; }
make_answers "$cases" answers.txt
make_answers 1 one.txt
make_answers 100000 many.txt

# One case's records (without the banner and the last line, "End of program.",
# which the program writes once) for the floor program to write.
FOR_READ=one.txt "$build/surge" > one.out
tail -n +25 one.out | head -n -1 > records.txt

m=$build/bench/bench_measure
row() { printf '%-44s %14s %14s %8s\n' "$@"; }
rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.0f", n / s }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
least() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }
# The program and its floor take turns, one run each a round, and each keeps
# its best time: a change in the machine's load then falls on both alike.
rounds=9

echo
row "benchmark" "surge" "floor" "ratio"
row "---------" "-----" "-----" "-----"

t_batch=; t_floor=
for _ in $(seq "$rounds"); do
  read -r t _ s_batch < <(FOR_READ=answers.txt "$m" 1 - batch.out "$build/surge")
  [ "$s_batch" = 0 ] || { echo "surge failed on the batch: status $s_batch"; exit 1; }
  t_batch=$(least "$t_batch" "$t")
  read -r t _ _ < <("$m" 1 - floor.out "$build/bench/bench_floor" records.txt answers.txt)
  t_floor=$(least "$t_floor" "$t")
done
row "batch, $cases cases (cases/s)" "$(rate "$cases" "$t_batch")" "$(rate "$cases" "$t_floor")" \
  "$(ratio "$t_batch" "$t_floor")"

t_pipe=; t_fpipe=
for _ in $(seq "$rounds"); do
  read -r t _ s_pipe < <("$m" 1 pipe:answers.txt pipe.out "$build/surge")
  [ "$s_pipe" = 0 ] || { echo "surge failed on the pipe: status $s_pipe"; exit 1; }
  t_pipe=$(least "$t_pipe" "$t")
  read -r t _ _ < <("$m" 1 pipe:answers.txt floor.out "$build/bench/bench_floor" records.txt)
  t_fpipe=$(least "$t_fpipe" "$t")
done
row "piped, $cases cases (cases/s)" "$(rate "$cases" "$t_pipe")" "$(rate "$cases" "$t_fpipe")" \
  "$(ratio "$t_pipe" "$t_fpipe")"

read -r t_start m_one _ < <("$m" 50 one.txt /dev/null "$build/surge")
read -r t_hello m_hello _ < <("$m" 50 - /dev/null "$build/bench/bench_hello")
row "start-up, one case vs hello (ms)" "$(awk -v t="$t_start" 'BEGIN{printf "%.2f", t*1000}')" \
  "$(awk -v t="$t_hello" 'BEGIN{printf "%.2f", t*1000}')" "$(ratio "$t_start" "$t_hello")"

read -r _ m_many s_many < <("$m" 1 many.txt /dev/null "$build/surge")
[ "$s_many" = 0 ] || { echo "surge failed on 100000 cases: status $s_many"; exit 1; }
row "peak memory, 1 case vs hello (KiB)" "$m_one" "$m_hello" "$(ratio "$m_one" "$m_hello")"
row "peak memory, 100000 cases vs 1 case (KiB)" "$m_many" "$m_one" "$(ratio "$m_many" "$m_one")"

if [ -x "$build/bench/bench_micro" ]; then
  echo
  "$build/bench/bench_micro" --benchmark_min_time=0.2
fi

# surgekit run beside the calculator: 500 times the calculator's cases
# (10,000,000 for the default 20,000).
bash "$root/bench/kit_run.sh" "$build" $((cases * 500)) "$cases"

# surgekit beside a numpy script doing the same jobs, as many rows; it says so
# and stops when numpy is not installed.
bash "$root/bench/kit_peer.sh" "$build" 5 $((cases * 500))
