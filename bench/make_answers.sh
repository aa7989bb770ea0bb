#!/usr/bin/env bash
# Writes the answers for N cases to standard output: varied locations, storms and
# distances, "1" between cases and "0" after the last.
# Usage: bash bench/make_answers.sh N > answers.txt
set -euo pipefail
awk -v n="${1:?number of cases}" 'BEGIN {
  for (i = 0; i < n; i++) {
    loc = i % 20 + 1
    d = (i * 37) % 400 - 100
    if (loc >= 18 && d <= 0) d = -d + 1
    print loc; print 900 + (i * 7) % 61; print 12 + (i * 11) % 50; print d ".5"
    print (i == n - 1) ? 0 : 1
  }
}'
