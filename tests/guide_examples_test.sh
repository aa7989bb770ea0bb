#!/usr/bin/env bash
# Runs every example of a guide (docs/surgekit.md unless another is named)
# and compares what it prints with what the guide shows, so that the guide
# cannot drift from the program.
# Usage: tests/guide_examples_test.sh SURGEKIT SOURCE_DIR [GUIDE]
#   GUIDE: the guide's path within SOURCE_DIR, as messages name it
#
# An example is a fenced block opened by a line "```console" and closed by "```":
#   $ COMMAND    a command, run by bash; a line ending in \ goes on with the next
#   other lines  what the command before them prints: its standard output, then
#                its standard error, then "[status N]" when it exits with N, not 0
#                (an output or error stream that does not end in a newline is
#                followed by "[no newline at end]")
#   ...          alone on a line: any number of lines, none included, left
#                uncompared; a command's output may not begin with it
# The commands of one example run in turn, with standard input empty, in a
# fresh scratch folder that holds a copy of SOURCE_DIR/examples (so commands
# name it "examples", as from the top of a clone), with "surgekit" on PATH
# being SURGEKIT and LC_ALL=C. Files they write stay in the scratch folder.
# Every console block must hold a surgekit command. The test fails on any
# difference (shown as a unified diff), on a malformed block, and when the
# guide holds no example at all.
set -uo pipefail

if [ $# -ne 2 ] && [ $# -ne 3 ]; then
  echo "usage: $0 SURGEKIT SOURCE_DIR [GUIDE]" >&2
  exit 2
fi
surgekit=$(realpath "$1") || exit 2
source_dir=$(cd "$2" && pwd) || exit 2
guide_name=${3:-docs/surgekit.md}
guide="$source_dir/$guide_name"
[ -x "$surgekit" ] || { echo "not a program: $surgekit"; exit 1; }
[ -f "$guide" ] || { echo "no guide: $guide"; exit 1; }
[ -d "$source_dir/examples" ] || { echo "no examples folder in $source_dir"; exit 1; }

work=$(mktemp -d /tmp/surge-guide-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$surgekit" "$work/bin/surgekit"

# Keeps the lines of one stream, marking a last line without its newline.
append_stream() {
  [ -s "$1" ] || return 0
  cat "$1"
  if [ "$(tail -c 1 "$1" | od -An -c | tr -d ' ')" != '\n' ]; then
    printf '\n[no newline at end]\n'
  fi
}

# Compares EXPECTED with ACTUAL, "..." lines in EXPECTED standing for any run
# of lines. Prints ACTUAL with the uncompared runs replaced by "...", so that
# a diff against EXPECTED shows only what differs; exits 1 when they differ.
# Runs are matched in order, each at its first place; the first is anchored at
# the start and, without a trailing "...", the last at the end.
match_awk='
BEGIN { while ((getline line < expected_file) > 0) e[++ne] = line }
{ a[++na] = $0 }
function same(s, p,    k) {
  if (p < 1 || p + len[s] - 1 > na) return 0
  for (k = 0; k < len[s]; k++) if (a[p + k] != e[first[s] + k]) return 0
  return 1
}
function put(from, to,    k) { for (k = from; k <= to; k++) print a[k] }
function find_line(line, from,    p) {
  for (p = from; p <= na; p++) if (a[p] == line) return p
  return 0
}
END {
  nseg = 0; open = 0
  for (i = 1; i <= ne; i++) {
    if (e[i] == "...") { open = 0; continue }
    if (!open) { nseg++; first[nseg] = i; len[nseg] = 0; open = 1 }
    len[nseg]++
  }
  trailing = ne > 0 && e[ne] == "..."
  ok = 1; pos = 1
  if (nseg == 0) { if (!trailing && na > 0) { ok = 0; put(1, na) } }
  for (s = 1; s <= nseg; s++) {
    last = s == nseg && !trailing
    if (s == 1) {
      if (last) { ok = same(1, 1) && na == len[1]; put(1, na); pos = na + 1; continue }
      if (!same(1, 1)) ok = 0
      put(1, len[1] < na ? len[1] : na); pos = len[1] + 1
      continue
    }
    print "..."
    if (last) {
      p = na - len[s] + 1
      if (p >= pos && same(s, p)) { put(p, na); pos = na + 1; continue }
      ok = 0
      p = find_line(e[first[s]], pos)
      put(p ? p : pos, na); pos = na + 1
      continue
    }
    for (p = pos; p <= na; p++) if (same(s, p)) break
    if (p <= na) { put(p, p + len[s] - 1); pos = p + len[s]; continue }
    ok = 0
    p = find_line(e[first[s]], pos)
    if (!p) { q = find_line(e[first[s] + len[s] - 1], pos); if (q) p = q - len[s] + 1 }
    if (p >= pos && p > 0) { put(p, p + len[s] - 1); pos = p + len[s]; continue }
    put(pos, na); pos = na + 1; trailing = 0
    break
  }
  if (trailing) print "..."
  exit ok ? 0 : 1
}'

# Reads the guide into blocks: for each example, its commands with the guide
# line each starts on and the lines it is expected to print.
fail=0
examples=0
commands=0
kit_commands=0
in_block=0
continuing=0
line_no=0
declare -a cmd_text=() cmd_line=() cmd_expected=()

fault() {
  echo "$guide_name:$1: $2"
  fail=1
}

run_block() {
  local block_line=$1 n=${#cmd_text[@]} i scratch has_kit=0
  if [ "$n" -eq 0 ]; then
    fault "$block_line" "a console block without a command"
    return
  fi
  for ((i = 0; i < n; i++)); do
    if [[ ${cmd_text[i]} =~ ^surgekit([[:space:]]|$) ]]; then has_kit=1; fi
  done
  if [ "$has_kit" -eq 0 ]; then
    fault "$block_line" "a console block without a surgekit command"
    return
  fi
  examples=$((examples + 1))
  scratch=$(mktemp -d "$work/example-XXXXXX")
  cp -R "$source_dir/examples" "$scratch/examples"
  for ((i = 0; i < n; i++)); do
    local out="$work/out" err="$work/err" expected="$work/expected" actual="$work/actual"
    local status=0
    commands=$((commands + 1))
    [[ ${cmd_text[i]} =~ ^surgekit([[:space:]]|$) ]] && kit_commands=$((kit_commands + 1))
    printf '%s' "${cmd_expected[i]}" >"$expected"
    if [ "$(head -n 1 "$expected")" == "..." ]; then
      fault "${cmd_line[i]}" "the output begins with \"...\": show its first lines"
      continue
    fi
    (cd "$scratch" && PATH="$work/bin:$PATH" LC_ALL=C timeout 300 bash -c "${cmd_text[i]}") \
      <"/dev/null" >"$out" 2>"$err" || status=$?
    {
      append_stream "$out"
      append_stream "$err"
      [ "$status" -ne 0 ] && echo "[status $status]"
    } >"$actual"
    if ! awk -v expected_file="$expected" "$match_awk" "$actual" >"$work/shown"; then
      echo "$guide_name:${cmd_line[i]}: the output of \$ ${cmd_text[i]%%$'\n'*} differs:"
      diff -u --label "$guide_name:${cmd_line[i]} (the guide)" \
              --label "the program (uncompared runs as ...)" "$expected" "$work/shown"
      fail=1
    fi
  done
  rm -rf "$scratch"
}

while IFS= read -r line || [ -n "$line" ]; do
  line_no=$((line_no + 1))
  if [ "$in_block" -eq 0 ]; then
    if [ "$line" == '```console' ]; then
      in_block=1
      block_line=$line_no
      cmd_text=() cmd_line=() cmd_expected=()
    fi
    continue
  fi
  if [ "$continuing" -eq 1 ]; then
    last=$((${#cmd_text[@]} - 1))
    cmd_text[last]+=$'\n'"$line"
    [[ $line == *\\ ]] || continuing=0
    continue
  fi
  if [ "$line" == '```' ]; then
    in_block=0
    run_block "$block_line"
    continue
  fi
  if [[ $line == '$ '* ]]; then
    cmd_text+=("${line#\$ }")
    cmd_line+=("$line_no")
    cmd_expected+=("")
    [[ $line == *\\ ]] && continuing=1
  elif [ ${#cmd_text[@]} -eq 0 ]; then
    fault "$line_no" "output before any command: a console block opens with \"\$ surgekit ...\""
  else
    last=$((${#cmd_text[@]} - 1))
    cmd_expected[last]+="$line"$'\n'
  fi
done <"$guide"
[ "$in_block" -eq 1 ] && fault "$block_line" "a console block that is never closed"

if [ "$examples" -eq 0 ]; then
  echo "$guide_name holds no example (a \`\`\`console block with a surgekit command)"
  exit 1
fi
echo "$examples examples, $commands commands ($kit_commands of surgekit) run from $guide_name"
if [ "$fail" -ne 0 ]; then
  echo "the guide and the program disagree"
  exit 1
fi
echo "every output is as the guide shows it"
