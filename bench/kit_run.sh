#!/usr/bin/env bash
# Measures `surgekit run` from a file of cases to a file, on every core and on
# one (--threads 1), split into reading, evaluating and writing, beside the calculator answering the same cases
# through FOR_READ, and the peak memory for 1,000 rows and for all of them.
# Usage: bash bench/kit_run.sh BUILD_DIR [CASES] [CALCULATOR_CASES]
#        (defaults: 10,000,000 cases; 20,000 for the calculator, per case)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
cases=${2:-10000000}
calculator_cases=${3:-20000}
kit=$build/surgekit
m=$build/bench/bench_measure
[ -x "$kit" ] || { echo "kit_run.sh: $kit is not built (needs CLI11 and Nettle)"; exit 0; }

work=$(mktemp -d /tmp/surgekit-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$root/examples/srfparamsVelko.dat" "$root/examples/pslope.dat" "$work"
cd "$work"

# The storms of bench/make_answers.sh, as CSV: case i is the same in both.
make_cases() {
  awk -v n="$1" 'BEGIN {
    print "location,pressure_mb,radius_km,distance_km"
    for (i = 0; i < n; i++) {
      loc = i % 20 + 1
      d = (i * 37) % 400 - 100
      if (loc >= 18 && d <= 0) d = -d + 1
      print loc "," 900 + (i * 7) % 61 "," 12 + (i * 11) % 50 "," d ".5"
    }
  }'
}
make_cases "$cases" > cases.csv
make_cases 1000 > small.csv
bash "$root/bench/make_answers.sh" "$calculator_cases" > answers.txt

row() { printf '%-46s %12s %10s\n' "$@"; }
rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.0f", n / s }'; }
per_case() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.0f", s * 1e9 / n }'; }

read -r t_kit m_kit s_kit < <("$m" 3 - /dev/null "$kit" run cases.csv -o out.csv)
[ "$s_kit" = 0 ] || { echo "surgekit run failed: status $s_kit"; exit 1; }
rows=$(($(wc -l < out.csv) - 1))
[ "$rows" = "$cases" ] || { echo "surgekit run wrote $rows rows for $cases cases"; exit 1; }
read -r t_one _ s_one < <("$m" 3 - /dev/null "$kit" run cases.csv -o one.csv --threads 1)
[ "$s_one" = 0 ] || { echo "surgekit run --threads 1 failed: status $s_one"; exit 1; }
cmp -s out.csv one.csv || { echo "surgekit run wrote other bytes on one thread"; exit 1; }
# CPU time of one run (user + system), which other work on the machine does
# not inflate the way it does the wall time; and the split by phase.
TIMEFORMAT='%3U %3S'
{ time "$kit" run cases.csv -o out.csv --timing 2> timing.txt; } 2> cpu.txt
read -r cpu_user cpu_sys < cpu.txt
cpu=$(awk -v u="$cpu_user" -v s="$cpu_sys" 'BEGIN { print u + s }')
split=$(sed -n 's/.*(all threads): //p' timing.txt)
read -r _ m_small s_small < <("$m" 1 - /dev/null "$kit" run small.csv -o small.out)
[ "$s_small" = 0 ] || { echo "surgekit run failed on 1000 rows: status $s_small"; exit 1; }

read -r t_calc _ s_calc < <(FOR_READ=answers.txt "$m" 3 - calculator.out "$build/surge")
[ "$s_calc" = 0 ] || { echo "the calculator failed: status $s_calc"; exit 1; }
# The calculator's surges for those cases are the ones surgekit printed.
diff <(grep -a '^A peak surge=' calculator.out | cut -c15-18 | sed 's/^ *//') \
     <(sed -n "2,$((calculator_cases + 1))p" out.csv | cut -d, -f6) >/dev/null ||
  { echo "surgekit and the calculator disagree on these cases"; exit 1; }

echo
row "surgekit run, file to file" "cases/s" "ns/case"
row "--------------------------" "-------" "-------"
row "surgekit run, $cases cases, every core" "$(rate "$cases" "$t_kit")" "$(per_case "$cases" "$t_kit")"
row "surgekit run, $cases cases, --threads 1" "$(rate "$cases" "$t_one")" "$(per_case "$cases" "$t_one")"
row "surgekit run, per CPU second (user + sys)" "$(rate "$cases" "$cpu")" "$(per_case "$cases" "$cpu")"
row "  split (--timing, CPU ns per case summed over threads)" "" ""
echo "    $split"
row "calculator via FOR_READ, $calculator_cases cases" "$(rate "$calculator_cases" "$t_calc")" \
  "$(per_case "$calculator_cases" "$t_calc")"
row "peak memory, 1000 vs $cases rows (KiB)" "$m_small" "$m_kit"
echo "(load average while measuring: $(cut -d' ' -f1-3 /proc/loadavg); timings are best of 3 wall times)"
