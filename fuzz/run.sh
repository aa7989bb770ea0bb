#!/usr/bin/env bash
# Runs fuzz targets from their seed corpora for the given number of seconds
# each (default 60). New inputs go to a scratch folder, never into the
# repository; a crash leaves its input in build-fuzz/.
# Usage: fuzz/run.sh [SECONDS] [TARGET...]
#   (targets: input dialogue data check cases sites storms)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(input dialogue data check cases sites storms)
fuzz/build.sh
for target in "${targets[@]}"; do
  scratch="$(mktemp -d)"
  echo "== fuzzing ${target} for ${seconds} s"
  build-fuzz/fuzz/"${target}"_fuzz -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build-fuzz/ \
    "$scratch" fuzz/corpus/"${target}"
  rm -rf "$scratch"
done
