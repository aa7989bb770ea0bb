#!/usr/bin/env bash
# Installs, with apt-get, what a Debian 12 machine lacks for building and
# testing everything the default preset builds, and for CI's fuzzing. Does
# nothing, and runs no apt-get at all, when everything is already there.
#
# Usage: bash tools/install-deps.sh [--lean] [--check]
#   --lean    only what the calculator alone needs (the lean build)
#   --check   only say what is missing; exit 1 if anything is, install nothing
#
# Runs apt-get as root, through sudo when not root. apt-get's output goes to a
# log that is shown only when it fails.
# INSTALL_DEPS_ROOT, when set, is put in front of every file path looked for;
# the script's own test uses it to stand in for a machine.
set -euo pipefail

# One row a package: the Debian package; what shows it is installed (a command
# on PATH, or an absolute file path, which may hold a * for a version); and
# what needs it. "calculator" rows are all the lean build needs.
readonly TABLE='
cmake               cmake                                    calculator
g++                 g++                                      calculator
make                make                                     calculator
pkg-config          pkg-config                               surgekit
libcli11-dev        /usr/include/CLI/CLI.hpp                 surgekit
nettle-dev          /usr/include/nettle/sha2.h               surgekit
libceres-dev        /usr/include/ceres/ceres.h               surgekit
libgtest-dev        /usr/include/gtest/gtest.h               tests
libgmock-dev        /usr/include/gmock/gmock.h               tests
libbenchmark-dev    /usr/include/benchmark/benchmark.h       benchmarks
python3-numpy       /usr/lib/python3/dist-packages/numpy/__init__.py  benchmarks
python3-scipy       /usr/lib/python3/dist-packages/scipy/__init__.py  benchmarks
valgrind            valgrind                                 soak-test
chromium            chromium                                 browser-test
emscripten          em++                                     report-page
clang-14            clang++-14                               fuzzing
libclang-rt-14-dev  /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a  fuzzing
'

say() { printf 'install-deps: %s\n' "$*"; }

lean=0 check_only=0
for arg in "$@"; do
  case $arg in
    --lean) lean=1 ;;
    --check) check_only=1 ;;
    -h | --help) echo "usage: bash tools/install-deps.sh [--lean] [--check]"; exit 0 ;;
    *) say "unknown option: $arg (use --lean, --check)" >&2; exit 2 ;;
  esac
done

# present PROBE: whether the command or file PROBE is there.
present() {
  local probe=$1
  if [[ $probe == /* ]]; then
    compgen -G "${INSTALL_DEPS_ROOT:-}$probe" >/dev/null
  else
    command -v "$probe" >/dev/null
  fi
}

# The rows this run cares about, as "package probe" pairs.
wanted=()
while read -r package probe need extra; do
  [[ -z $package || $package == \#* ]] && continue
  if [[ -z $need || -n $extra ]]; then
    say "bad row in the package table: $package $probe $need $extra" >&2
    exit 2
  fi
  ((lean)) && [[ $need != calculator ]] && continue
  wanted+=("$package $probe")
done <<<"$TABLE"

missing=()
for row in "${wanted[@]}"; do
  present "${row#* }" || missing+=("${row%% *}")
done

scope=""
((lean)) && scope=" for the lean build"
if [ ${#missing[@]} -eq 0 ]; then
  say "all present${scope} (${#wanted[@]} packages)"
  exit 0
fi
if ((check_only)); then
  say "missing${scope}: ${missing[*]}"
  exit 1
fi

as_root=()
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null; then
    as_root=(sudo)
  else
    say "missing: ${missing[*]}"
    say "not root and no sudo: as root, run"
    say "  apt-get update && apt-get install -y ${missing[*]}"
    exit 1
  fi
fi
if ! command -v apt-get >/dev/null; then
  say "missing: ${missing[*]}"
  say "apt-get not found: install these (Debian names) with this system's package manager"
  exit 1
fi

log=$(mktemp --tmpdir install-deps-XXXXXX.log)
apt() {  # apt ARGS...: apt-get, non-interactive, as root, its output to the log
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get -q -o DPkg::Lock::Timeout=300 "$@" >>"$log" 2>&1
}
say "installing ${missing[*]}"
if ! { apt update && apt install -y "${missing[@]}"; }; then
  say "apt-get failed; the end of its output (all of it in $log):" >&2
  tail -n 40 "$log" >&2
  exit 1
fi
rm -f "$log"

# A package that installed but did not bring what its row looks for would
# leave the build without it all the same: the table is then wrong.
for row in "${wanted[@]}"; do
  if ! present "${row#* }"; then
    say "${row%% *} is installed but ${row#* } is still not there" >&2
    exit 1
  fi
done
say "installed ${missing[*]}"
