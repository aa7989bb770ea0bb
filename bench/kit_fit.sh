#!/usr/bin/env bash
# Times `surgekit fit` on the example simulations (20 locations, both cores),
# and, where python3-scipy is installed, scipy's least_squares on the same
# residuals from the same starting points, as a ratio.
# Usage: bash bench/kit_fit.sh BUILD_DIR [REPEATS]   (default: 3 repeats, best kept)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
repeats=${2:-3}
kit=$build/surgekit
sims=$root/examples/simulations.csv
[ -x "$kit" ] || { echo "kit_fit.sh: $kit is not built"; exit 0; }
"$kit" fit --help >/dev/null 2>&1 || { echo "kit_fit.sh: surgekit was built without fit (Ceres)"; exit 0; }

work=$(mktemp -d /tmp/surgekit-fit-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
rows=$(($(wc -l <"$sims") - 1))

best=""
for _ in $(seq "$repeats"); do
  start=$(date +%s.%N)
  "$kit" fit "$sims" -o "$work/out" --threads 2 --starts "$work/starts.csv" --timing \
    >"$work/stats.csv" 2>"$work/err.txt"
  end=$(date +%s.%N)
  t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then
    best=$t
    # "timing: fit S s on N threads; runs from the starting points R s (...); best costs summed C"
    runs=$(sed -n 's/.*starting points \([0-9.]*\) s.*/\1/p' "$work/err.txt")
    kit_cost=$(sed -n 's/.*best costs summed \(.*\)$/\1/p' "$work/err.txt")
  fi
done
starts=$(($(wc -l <"$work/starts.csv") - 1))
echo "surgekit fit: $rows rows, 20 locations, $starts solver starts, 2 threads,"
echo "  with 5-fold cross-validation and covariance: $best s (best of $repeats)"
echo "  of which the runs from the starting points: $runs s of CPU; best costs summed $kit_cost"

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
read -r seconds cost < <("$python" "$root/bench/fit_scipy.py" "$work/run.csv" "$work/starts.csv")
echo "scipy least_squares (trf, 2-point Jacobian, one process): the same $starts starts,"
echo "  solves only (no cross-validation, no covariance): $seconds s, best costs summed $cost"
awk -v s="$seconds" -v k="$best" -v r="$runs" 'BEGIN {
  printf "ratio: the whole surgekit fit (wall) is %.1f times faster than scipy'"'"'s solves alone;\n", s / k
  printf "       the same runs, CPU against CPU: %.1f times faster\n", s / r }'
