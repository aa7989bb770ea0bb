#!/usr/bin/env bash
# Sets surgekit beside bench/peer_numpy.py, the same jobs as a short numpy
# script, and prints a table of wall and CPU seconds with the ratios (numpy's
# time over surgekit's: how many times faster surgekit is):
#   run       ROWS cases from a file to a file (surge_m and x at least);
#   hazard    PRESSURES x RADII storms integrated over 600 km of coast at 1 km,
#             20 bridges, without and with the error term (--sigma-m 0.1
#             --sigma-rel 0.1; the numpy script needs scipy for erfc there);
#   ensemble  SAMPLES samples x 20 bridges, the very samples surgekit draws
#             (the script draws them with the same counter-based generator).
# surgekit runs with its default threads (one per core) and with --threads 1.
# The programs take turns, one run each a round, RUNS rounds, and each keeps
# its best wall time and its least CPU time (user + system). Then it checks
# that surgekit writes the same bytes with one thread as with its default,
# and that the numpy script's numbers agree with surgekit's.
# Usage: bash bench/kit_peer.sh BUILD_DIR [RUNS] [ROWS] [PRESSURES] [RADII] [SAMPLES]
#        (defaults: 5 rounds, 10,000,000 rows, 50 x 200 storms, 1,000,000 samples)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
runs=${2:-5}
rows=${3:-10000000}
pressures=${4:-50}
radii=${5:-200}
samples=${6:-1000000}
kit=$build/surgekit
[ -x "$kit" ] || { echo "kit_peer.sh: $kit is not built, no comparison"; exit 0; }
[ -x /usr/bin/time ] || { echo "kit_peer.sh: needs /usr/bin/time (Debian package time), no comparison"; exit 0; }

# The Debian packages install into the system's python3, which may not be the
# first on PATH.
python=""
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c 'import numpy' 2>/dev/null; then python=$candidate; break; fi
done
if [ -z "$python" ]; then
  echo "kit_peer.sh: numpy is not installed (python3-numpy), no comparison with a numpy script"
  exit 0
fi
scipy=0
"$python" -c 'import scipy.special' 2>/dev/null && scipy=1
peer=("$python" "$root/bench/peer_numpy.py")

work=$(mktemp -d /tmp/surgekit-peer-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$root/examples/srfparamsVelko.dat" "$root/examples/pslope.dat" "$root/examples/sites.csv" "$work"
cd "$work"

# The cases of bench/kit_run.sh.
awk -v n="$rows" 'BEGIN {
  print "location,pressure_mb,radius_km,distance_km"
  for (i = 0; i < n; i++) {
    loc = i % 20 + 1
    d = (i * 37) % 400 - 100
    if (loc >= 18 && d <= 0) d = -d + 1
    print loc "," 900 + (i * 7) % 61 "," 12 + (i * 11) % 50 "," d ".5"
  }
}' > cases.csv
# A grid of storms over the fitted ranges, 890 to 960 mb and 11 to 65 km, with
# an annual rate per km of coast that falls off with intensity, scaled so
# that the storms together come about 0.7 times a year along 600 km.
awk -v np="$pressures" -v nr="$radii" 'BEGIN {
  print "pressure_mb,radius_km,rate"
  for (i = 0; i < np; i++) for (j = 0; j < nr; j++) {
    p = np > 1 ? 890 + 70 * i / (np - 1) : 935
    r = nr > 1 ? 11 + 54 * j / (nr - 1) : 35
    printf "%.4f,%.4f,%.4e\n", p, r, 3e-7 * 10000 / (np * nr) * exp((p - 960) / 25)
  }
}' > storms.csv
storms=$((pressures * radii))
# 600 km, cut short of the bridges' fitted reach (hazard warns): the same
# 600 landfalls per storm for both programs, which is what is compared here.
coast=(--coast 0:600 --step 1)
errors=(--sigma-m 0.1 --sigma-rel 0.1)
forecast=(--landfall-km 300 --pressure 935 --radius 35 --sd-landfall 40 --sd-pressure 8
          --sd-radius 0.2 --samples "$samples" --seed 1 --threshold 2)
kit_threads=0
"$kit" run --help 2>/dev/null | grep -q -- '--threads' && kit_threads=1

declare -A best_wall least_cpu
# measure NAME COMMAND...: one run, its standard output into NAME.out; keeps
# NAME's best wall time and least CPU time.
measure() {
  local name=$1 wall user sys cpu
  shift
  if ! /usr/bin/time -f "%e %U %S" -o time.txt "$@" > "$name.out" 2> "$name.err"; then
    echo "kit_peer.sh: $name failed:"; tail -n 5 "$name.err"; tail -n 1 time.txt; exit 1
  fi
  read -r wall user sys < time.txt
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  if [ -z "${best_wall[$name]:-}" ] || awk -v a="$wall" -v b="${best_wall[$name]}" 'BEGIN { exit !(a < b) }'; then
    best_wall[$name]=$wall
  fi
  if [ -z "${least_cpu[$name]:-}" ] || awk -v a="$cpu" -v b="${least_cpu[$name]}" 'BEGIN { exit !(a < b) }'; then
    least_cpu[$name]=$cpu
  fi
}

for _ in $(seq "$runs"); do
  measure kit_run "$kit" run cases.csv -o kit_run.csv
  ((kit_threads)) && measure kit_run_1 "$kit" run cases.csv -o kit_run_1.csv --threads 1
  measure numpy_run "${peer[@]}" run cases.csv numpy_run.csv --data .

  measure kit_hazard "$kit" hazard storms.csv "${coast[@]}"
  measure kit_hazard_1 "$kit" hazard storms.csv "${coast[@]}" --threads 1
  measure numpy_hazard "${peer[@]}" hazard storms.csv numpy_hazard.csv --data . "${coast[@]}"

  measure kit_hazard_e "$kit" hazard storms.csv "${coast[@]}" "${errors[@]}"
  measure kit_hazard_e_1 "$kit" hazard storms.csv "${coast[@]}" "${errors[@]}" --threads 1
  ((scipy)) && measure numpy_hazard_e "${peer[@]}" hazard storms.csv numpy_hazard_e.csv --data . \
    "${coast[@]}" "${errors[@]}"

  measure kit_ensemble "$kit" ensemble "${forecast[@]}"
  measure kit_ensemble_1 "$kit" ensemble "${forecast[@]}" --threads 1
  measure numpy_ensemble "${peer[@]}" ensemble numpy_ensemble.csv --data . "${forecast[@]}"
done

# Numbers with thousands separators, ratios and rates.
grouped() { echo "$1" | sed ':a; s/\B[0-9]\{3\}\>/,&/; ta'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1f", a / b; else print "-" }'; }
row() { printf '%-40s %-24s %8s %8s %11s %10s\n' "$@"; }
line() {  # JOB PROGRAM NAME NUMPY_NAME
  row "$1" "$2" "${best_wall[$3]}" "${least_cpu[$3]}" "$(ratio "${best_wall[$4]}" "${best_wall[$3]}")" \
    "$(ratio "${least_cpu[$4]}" "${least_cpu[$3]}")"
}
cores=$(nproc)
echo
echo "surgekit beside a numpy script (numpy $("$python" -c 'import numpy; print(numpy.__version__)'), one process);"
echo "best wall and least CPU seconds of $runs alternating rounds; ratio = numpy's seconds / these"
row "job" "program" "wall s" "CPU s" "ratio wall" "ratio CPU"
row "---" "-------" "------" "-----" "----------" "---------"
job="run, $(grouped "$rows") rows, file to file"
line "$job" "surgekit, $cores threads" kit_run numpy_run
((kit_threads)) && line "" "surgekit --threads 1" kit_run_1 numpy_run
line "" "numpy script" numpy_run numpy_run
line "hazard, $(grouped "$storms") storms x 600 km x 20" "surgekit, $cores threads" kit_hazard numpy_hazard
line "" "surgekit --threads 1" kit_hazard_1 numpy_hazard
line "" "numpy script" numpy_hazard numpy_hazard
if ((scipy)); then
  line "  the same with the error term" "surgekit, $cores threads" kit_hazard_e numpy_hazard_e
  line "" "surgekit --threads 1" kit_hazard_e_1 numpy_hazard_e
  line "" "numpy script" numpy_hazard_e numpy_hazard_e
else
  row "  the same with the error term" "surgekit, $cores threads" "${best_wall[kit_hazard_e]}" \
    "${least_cpu[kit_hazard_e]}" "-" "-"
  row "" "surgekit --threads 1" "${best_wall[kit_hazard_e_1]}" "${least_cpu[kit_hazard_e_1]}" "-" "-"
  echo "  (no numpy row for the error term: it needs scipy, python3-scipy, which is not installed)"
fi
line "ensemble, $(grouped "$samples") samples x 20" "surgekit, $cores threads" kit_ensemble numpy_ensemble
line "" "surgekit --threads 1" kit_ensemble_1 numpy_ensemble
line "" "numpy script" numpy_ensemble numpy_ensemble
echo "run, rows per second of wall time: surgekit $(awk -v n="$rows" -v s="${best_wall[kit_run]}" \
  'BEGIN { printf "%.2f", n / s / 1e6 }') million, numpy $(awk -v n="$rows" -v s="${best_wall[numpy_run]}" \
  'BEGIN { printf "%.2f", n / s / 1e6 }') million"
((kit_threads)) || echo "(surgekit run has no --threads option in this build: one row for run)"
echo "(load average while measuring: $(cut -d' ' -f1-3 /proc/loadavg))"

# The goals, by wall time: surgekit's default threads for run, one thread for
# the studies against the numpy script's one process.
goal() {  # TEXT VALUE LEAST
  if awk -v v="$2" -v g="$3" 'BEGIN { exit !(v >= g) }'; then
    echo "  $1: $2, met"
  else
    echo "  $1: $2, not met (goal $3)"
  fi
}
echo
echo "goals (set for the default sizes):"
goal "run, numpy's wall time over surgekit's" "$(ratio "${best_wall[numpy_run]}" "${best_wall[kit_run]}")" 5
goal "run, million rows per second, file to file" \
  "$(awk -v n="$rows" -v s="${best_wall[kit_run]}" 'BEGIN { printf "%.2f", n / s / 1e6 }')" 10
goal "hazard, numpy over surgekit --threads 1" \
  "$(ratio "${best_wall[numpy_hazard]}" "${best_wall[kit_hazard_1]}")" 10
if ((scipy)); then
  goal "hazard with the error term, numpy over surgekit --threads 1" \
    "$(ratio "${best_wall[numpy_hazard_e]}" "${best_wall[kit_hazard_e_1]}")" 10
fi
goal "ensemble, numpy over surgekit --threads 1" \
  "$(ratio "${best_wall[numpy_ensemble]}" "${best_wall[kit_ensemble_1]}")" 3

# One thread or the default: the same bytes.
failed=0
same() {
  if cmp -s "$1" "$2"; then echo "  $3: the same bytes"; else echo "  $3: DIFFERENT bytes"; failed=1; fi
}
echo
echo "surgekit with --threads 1 and with its default:"
((kit_threads)) && same kit_run.csv kit_run_1.csv run
same kit_hazard.out kit_hazard_1.out hazard
same kit_hazard_e.out kit_hazard_e_1.out "hazard with the error term"
same kit_ensemble.out kit_ensemble_1.out ensemble

# The numpy script's numbers against surgekit's.
agree() {  # WHAT ARGS...
  local what=$1 verdict
  shift
  if verdict=$("${peer[@]}" "$@" 2>&1); then
    echo "  $what: $verdict"
  else
    echo "  $what: DISAGREE: $verdict"; failed=1
  fi
}
levels=(surge_10y_m surge_25y_m surge_50y_m surge_100y_m surge_200y_m surge_500y_m rate_per_year
        left_out_share)
every=$(((storms + 19) / 20))
first=$((samples < 10000 ? samples : 10000))
"${peer[@]}" hazard-cases storms.csv hazard_cases.csv hazard_surges.csv --data . "${coast[@]}" --every "$every"
"$kit" run hazard_cases.csv -o hazard_run.csv
"${peer[@]}" ensemble-cases ensemble_cases.csv ensemble_surges.csv --data . "${forecast[@]}" --first "$first"
"$kit" run ensemble_cases.csv -o ensemble_run.csv
echo "numpy script against surgekit:"
agree "run, surge_m and x to 1e-9" agree-run kit_run.csv numpy_run.csv
agree "hazard, one storm in $every at every landfall and bridge, through surgekit run, to 1e-9" \
  agree-run hazard_run.csv hazard_surges.csv
agree "hazard, return levels as printed, rates and shares within a unit of their sixth digit" \
  agree-table kit_hazard.out numpy_hazard.csv "${levels[@]}"
if ((scipy)); then
  agree "hazard with the error term, the same" agree-table kit_hazard_e.out numpy_hazard_e.csv "${levels[@]}"
fi
agree "ensemble, the first $first samples at every bridge, through surgekit run, to 1e-9" \
  agree-run ensemble_run.csv ensemble_surges.csv
agree "ensemble, counts, shares and surges as printed" agree-table kit_ensemble.out numpy_ensemble.csv \
  samples_kept left_out_share surge_median_m surge_p10_m surge_p90_m p_surge_above_2_m \
  p_surge_over_low_chord
exit "$failed"
