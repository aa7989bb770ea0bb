#!/usr/bin/env bash
# Builds the libFuzzer targets (clang 14 with AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
