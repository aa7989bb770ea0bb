#!/usr/bin/env bash
# Holds guide_examples_test.sh to its rules: it runs a guide's console blocks
# against a stand-in program and must pass on agreement, fail on every kind of
# drift, and fail on malformed or missing examples.
# Usage: tests/guide_examples_checker_test.sh
set -uo pipefail
checker="$(cd "$(dirname "$0")" && pwd)/guide_examples_test.sh"
work=$(mktemp -d /tmp/surge-guide-check-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/docs" "$work/src/examples"
echo "example data" >"$work/src/examples/data.txt"

# The stand-in: each subcommand prints something known.
cat >"$work/surgekit" <<'EOF'
#!/usr/bin/env bash
case "$1" in
  count) seq 1 "$2" ;;
  fail) echo "out"; echo "bad thing" >&2; exit 3 ;;
  nonl) printf 'no end' ;;
  write) echo "written" >examples/written.txt; cat examples/data.txt ;;
esac
EOF
chmod +x "$work/surgekit"

failures=0
# expect pass|fail NAME [TEXT the checker must print]; the guide comes on
# stdin, as docs/surgekit.md or, with GUIDE set, as that file of the source
# folder, named to the checker.
expect() {
  local want=$1 name=$2 text=${3:-} status=0 guide=${GUIDE:-}
  cat >"$work/src/${guide:-docs/surgekit.md}"
  bash "$checker" "$work/surgekit" "$work/src" ${guide:+"$guide"} >"$work/log" 2>&1 || status=$?
  if [ "$want" == pass ] && [ "$status" -ne 0 ]; then
    echo "FAIL $name: the checker failed on a guide that agrees"; cat "$work/log"; failures=$((failures + 1))
  elif [ "$want" == fail ] && [ "$status" -eq 0 ]; then
    echo "FAIL $name: the checker passed a guide that disagrees"; cat "$work/log"; failures=$((failures + 1))
  elif [ -n "$text" ] && ! grep -qF -- "$text" "$work/log"; then
    echo "FAIL $name: the checker did not print: $text"; cat "$work/log"; failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

fence='```'
expect pass "every form agrees" "6 examples, 8 commands (7 of surgekit)" <<EOF
Text, and a block that is not an example:
${fence}text
\$ surgekit count 1
whatever
${fence}
${fence}console
\$ surgekit count 3
1
2
3
${fence}
${fence}console
\$ surgekit count 10
1
2
...
${fence}
${fence}console
\$ surgekit \\
    count 10
1
...
5
6
...
10
${fence}
${fence}console
\$ surgekit fail
out
bad thing
[status 3]
\$ surgekit nonl
no end
[no newline at end]
${fence}
${fence}console
\$ surgekit write
example data
\$ cat examples/written.txt
written
${fence}
${fence}console
\$ surgekit count 0
${fence}
EOF
if [ -e "$work/src/examples/written.txt" ]; then
  echo "FAIL an example wrote into the source folder's examples"; failures=$((failures + 1))
fi

expect fail "a changed line" "+2" <<EOF
${fence}console
\$ surgekit count 3
1
7
3
${fence}
EOF
grep -qF -- "-7" "$work/log" || { echo "FAIL the diff does not show the guide's line"; failures=$((failures + 1)); }

expect fail "a changed line among the first before ..." "+2" <<EOF
${fence}console
\$ surgekit count 10
1
7
...
${fence}
EOF

expect fail "a changed line between two ..." "+6" <<EOF
${fence}console
\$ surgekit count 10
1
...
5
66
7
...
${fence}
EOF

expect fail "a changed last line after ..." "+10" <<EOF
${fence}console
\$ surgekit count 10
1
...
9
${fence}
EOF

expect fail "a line more than the guide shows" "+4" <<EOF
${fence}console
\$ surgekit count 4
1
2
3
${fence}
EOF

expect fail "a line fewer than the guide shows" "-4" <<EOF
${fence}console
\$ surgekit count 3
1
2
3
4
${fence}
EOF

expect fail "a status the guide does not show" "+[status 3]" <<EOF
${fence}console
\$ surgekit fail
out
bad thing
${fence}
EOF

expect fail "standard error the guide does not show" "+bad thing" <<EOF
${fence}console
\$ surgekit fail
out
[status 3]
${fence}
EOF

expect fail "a missing newline the guide does not show" "+[no newline at end]" <<EOF
${fence}console
\$ surgekit nonl
no end
${fence}
EOF

expect fail "a later command of a block" "+written" <<EOF
${fence}console
\$ surgekit write
example data
\$ cat examples/written.txt
not written
${fence}
EOF

expect fail "no example at all" "holds no example" <<EOF
${fence}text
\$ surgekit count 1
1
${fence}
EOF

expect fail "a console block without surgekit" "without a surgekit command" <<EOF
${fence}console
\$ seq 1 2
1
2
${fence}
${fence}console
\$ surgekit count 1
1
${fence}
EOF

expect fail "an output that begins with ..." "begins with" <<EOF
${fence}console
\$ surgekit count 3
...
3
${fence}
EOF

expect fail "output before a command" "output before any command" <<EOF
${fence}console
1
\$ surgekit count 1
1
${fence}
EOF

expect fail "a block never closed" "never closed" <<EOF
${fence}console
\$ surgekit count 1
1
${fence}
${fence}console
\$ surgekit count 1
1
EOF

# Another guide, named: it alone is read (docs/surgekit.md now holds the
# unclosed block above), and messages name it.
GUIDE=docs/fit.md expect pass "another guide, named" \
  "1 examples, 1 commands (1 of surgekit) run from docs/fit.md" <<EOF
Text.
${fence}console
\$ surgekit count 2
1
2
${fence}
EOF

GUIDE=docs/fit.md expect fail "drift in another guide, named by its path" \
  "docs/fit.md:3: the output of \$ surgekit count 2 differs" <<EOF
Text.
${fence}console
\$ surgekit count 2
1
3
${fence}
EOF
grep -qF -- "--- docs/fit.md:3 (the guide)" "$work/log" ||
  { echo "FAIL the diff does not name the other guide"; failures=$((failures + 1)); }

if [ "$failures" -ne 0 ]; then
  echo "$failures checks failed"
  exit 1
fi
echo "the guide checker passes agreement and fails every planted drift"
