#!/usr/bin/env bash
# Builds the input fuzz target with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/input_fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build-fuzz
clang++-14 -std=c++20 -g -O1 -ffp-contract=off -Wall -Wextra \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I src \
  fuzz/input_fuzz.cpp \
  src/recio/scanner.cpp src/recio/convert.cpp src/recio/decimal.cpp \
  src/recio/record_reader.cpp src/recio/input_fault.cpp \
  -o build-fuzz/input_fuzz
echo "built build-fuzz/input_fuzz"
