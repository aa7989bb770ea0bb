#!/usr/bin/env bash
# Times surgekit's worst-case searches, the envelope and the report on the
# example data (best of 5 runs each) and prints rows for the README's table.
# Usage: bash bench/kit_plots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build build -j2 --target surgekit bench_measure >/dev/null
kit=$PWD/build/surgekit
m=$PWD/build/bench/bench_measure
work=$(mktemp -d /tmp/surge-kit-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

row() { printf '%-62s %10s %10s\n' "$@"; }
time_of() {  # time_of LABEL ARGS...: best wall time (ms) and peak memory (KiB)
  local label=$1
  shift
  read -r seconds kib status < <("$m" 5 - "$work/out" "$kit" "$@" --data examples)
  [ "$status" = 0 ] || { echo "surgekit $* failed: status $status"; exit 1; }
  row "$label" "$(awk -v s="$seconds" 'BEGIN { printf "%.1f", s * 1000 }')" "$kib"
}

echo
row "surgekit, example data, 20 locations" "ms" "KiB"
row "------------------------------------" "--" "---"
time_of "worst --pressure 930 --radius 30" worst --pressure 930 --radius 30
time_of "worst --pressure 930 --radius-range 11:65 (55 radii)" worst --pressure 930 --radius-range 11:65
time_of "envelope, 8 pressures x 55 radii" envelope --pressures 890:960:10 --radius-range 11:65
time_of "curve --location all --radius 30 (20 series of 931 points)" curve --location all --pressure 930 --radius 30
time_of "report -o FILE (41 plots, 4 tables)" report -o "$work/report.html"
echo "threads: $(nproc) cores"
