#!/usr/bin/env bash
# Installs the build into a scratch prefix, then runs the installed calculator
# in the installed examples folder and compares its session with the one the
# built program gives on the source tree's examples.
# Usage: tests/install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
prefix=$(mktemp -d /tmp/surge-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/surge share/surge/examples/srfparamsVelko.dat share/surge/examples/pslope.dat; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done

answers=$'5\n950\n30\n60\n1\n19\n930\n20\n15\n0\n'
installed=$(cd "$prefix/share/surge/examples" && printf '%s' "$answers" | "$prefix/bin/surge")
built=$(cd "$source_dir/examples" && printf '%s' "$answers" | "$build/surge")
grep -q 'A peak surge=' <<<"$installed" || { echo "no report from the installed program"; exit 1; }
[ "$installed" == "$built" ] || { echo "installed program's session differs from the built one's"; exit 1; }
if [ -x "$build/surgekit" ]; then
  "$prefix/bin/surgekit" --version | grep -q '^surgekit ' || { echo "installed surgekit does not run"; exit 1; }
  (cd "$prefix/share/surge/examples" && "$prefix/bin/surgekit" check >/dev/null) ||
    { echo "installed surgekit does not accept the installed examples"; exit 1; }
fi
echo "installed programs ran on the installed examples"
