#!/usr/bin/env bash
# Runs the input fuzz target for the given number of seconds (default 60) from
# the seed corpus. New inputs go to a scratch folder, never into the repository;
# a crash leaves its input in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
fuzz/build.sh
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
build-fuzz/input_fuzz -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix=build-fuzz/ "$scratch" fuzz/corpus/input
