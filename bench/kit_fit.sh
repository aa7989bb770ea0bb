#!/usr/bin/env bash
# Times `surgekit fit` on the example simulations (20 locations, both cores),
# and, where python3-scipy is installed, scipy's least_squares on the same
# residuals from the same starting points, as a ratio. Wall and CPU seconds
# are both given: on a shared machine the wall clock depends on the others.
# Usage: bash bench/kit_fit.sh BUILD_DIR [REPEATS]   (default: 3 repeats, best kept)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
repeats=${2:-3}
kit=$build/surgekit
sims=$root/examples/simulations.csv
[ -x "$kit" ] || { echo "kit_fit.sh: $kit is not built"; exit 0; }
"$kit" fit --help >/dev/null 2>&1 || { echo "kit_fit.sh: surgekit was built without fit (Ceres)"; exit 0; }
[ -x /usr/bin/time ] || { echo "kit_fit.sh: needs /usr/bin/time (Debian package time)"; exit 0; }

work=$(mktemp -d /tmp/surgekit-fit-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
rows=$(($(wc -l <"$sims") - 1))

best="" best_cpu=""
for _ in $(seq "$repeats"); do
  /usr/bin/time -f "%e %U %S" -o "$work/time.txt" \
    "$kit" fit "$sims" -o "$work/out" --threads 2 --starts "$work/starts.csv" --timing \
    >"$work/stats.csv" 2>"$work/err.txt"
  read -r wall user sys <"$work/time.txt"
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  if [ -z "$best" ] || awk -v t="$cpu" -v b="$best_cpu" 'BEGIN { exit !(t < b) }'; then
    best=$wall best_cpu=$cpu
    # "timing: fit S s on N threads; runs from the starting points R s of CPU (...); best costs summed C"
    runs=$(sed -n "s/.*starting points \\([0-9.]*\\) s of CPU.*/\\1/p" "$work/err.txt")
    kit_cost=$(sed -n 's/.*best costs summed \(.*\)$/\1/p' "$work/err.txt")
  fi
done
starts=$(($(wc -l <"$work/starts.csv") - 1))
echo "surgekit fit: $rows rows, 20 locations, $starts solver starts, 2 threads,"
echo "  with 5-fold cross-validation and covariance: $best s wall, $best_cpu s CPU (least CPU of $repeats)"
echo "  of which the runs from the starting points: $runs s; best costs summed $kit_cost"

# The Debian package installs into the system's python3, which may not be the
# first on PATH.
python=""
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c 'import scipy' 2>/dev/null; then python=$candidate; break; fi
done
if [ -z "$python" ]; then
  echo "scipy: not installed (python3-scipy), no comparison"
  exit 0
fi
sed '1s/surge_m/simulated_m/' "$sims" | "$kit" run --data "$root/examples" >"$work/run.csv"
read -r seconds cpu cost < <("$python" "$root/bench/fit_scipy.py" "$work/run.csv" "$work/starts.csv")
echo "scipy least_squares (trf, 2-point Jacobian, one process): the same $starts starts,"
echo "  solves only (no cross-validation, no covariance): $seconds s wall, $cpu s CPU;"
echo "  best costs summed $cost"
awk -v w="$seconds" -v c="$cpu" -v kw="$best" -v kc="$best_cpu" -v r="$runs" 'BEGIN {
  printf "ratio, scipy'"'"'s solves alone against the whole surgekit fit: %.1f (wall), %.1f (CPU)\n", w / kw, c / kc
  printf "ratio, the same runs only: %.1f\n", c / r }'
