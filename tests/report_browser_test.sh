#!/usr/bin/env bash
# Opens the report of the example data in headless Chromium: it must load
# without a console message, fetch nothing, and hold the expected plots and
# tables. Leaves screenshots for a person to look at under BUILD_DIR: the
# report (report.png), the 20-panel curve figure (curve-panels.png) and one
# bridge's AEP plot with its low chord (aep-plot.png).
# Usage: report_browser_test.sh SURGEKIT EXAMPLES_DIR BUILD_DIR
# Exit 77 (CTest: skipped) when Chromium is not installed.
set -euo pipefail
surgekit=$1 examples=$2 build=$3

if ! command -v chromium >/dev/null; then
  echo "chromium is not installed: the browser test is skipped (apt-get install chromium)"
  exit 77
fi
work=$(mktemp -d /tmp/surge-browser-XXXXXX)
# A Chromium helper that outlives the browser can still be writing a profile:
# the clean-up tries again rather than failing a test that passed.
cleanup() { for _ in 1 2 3 4 5; do rm -rf "$work" 2>/dev/null && return 0; sleep 1; done; rm -rf "$work" || true; }
trap cleanup EXIT

browse() {  # browse PAGE ARGS...: runs Chromium on a page; its log goes to $work/log
  local page=$1
  shift
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$(mktemp -d "$work/profile-XXXXXX")" --enable-logging=stderr --v=0 \
    "$@" "file://$page" 2>"$work/log"
}
console_messages() { grep -E ':CONSOLE[:(]' "$work/log" || true; }
fail() { echo "FAIL: $*"; exit 1; }

# The console check must see a page's console messages: a control page first.
printf '<!DOCTYPE html><html><body><script>console.error("control")</script></body></html>\n' \
  >"$work/control.html"
browse "$work/control.html" --dump-dom >/dev/null
console_messages | grep -q control || fail "the console check did not see the control page's error"

"$surgekit" report --data "$examples" -o "$work/report.html" ||
  fail "surgekit report ended with status $?"

# Nothing to fetch: no external scripts, links, images, fonts or style sheets.
# The interactive section's scripts are inline; the markup around them is
# checked, and the scripts for a script from elsewhere.
interactive=0
grep -q 'id="sk-data"' "$work/report.html" && interactive=1
sed '/^<script>$/,/^<\/script>$/d' "$work/report.html" >"$work/markup.html"
if grep -Eqi '<script[^>]*src|<link|<img|<iframe|src=|@import|url\(|href="(https?:)?//' "$work/markup.html"; then
  fail "the page refers to something outside itself"
fi
if grep -Eqi '<script[^>]*src' "$work/report.html"; then
  fail "the page loads a script from elsewhere"
fi

browse "$work/report.html" --dump-dom >"$work/dom.html"
messages=$(console_messages)
[ -z "$messages" ] || fail "console messages while loading the page:
$messages"

# 20 locations: two plots each and the envelope's grid; tables: the identity,
# the check's findings, the worst cases and the envelope.
sed '/^<script>$/,/^<\/script>$/d' "$work/dom.html" >"$work/dom-markup.html"
svgs=$(grep -o '<svg' "$work/dom-markup.html" | wc -l)
tables=$(grep -o '<table' "$work/dom-markup.html" | wc -l)
# The interactive section draws two plots and its values table once loaded.
want_svgs=$((41 + 2 * interactive)) want_tables=$((4 + interactive))
[ "$svgs" -eq "$want_svgs" ] || fail "expected $want_svgs <svg> plots in the loaded page, found $svgs"
[ "$tables" -eq "$want_tables" ] || fail "expected $want_tables <table>s in the loaded page, found $tables"
grep -q 'meteorological forcing' "$work/dom.html" || fail "the scope note is missing"

# Texts in the plots, measured with the browser's own fonts at the page's
# full width of 1240 px: none overlaps another or reaches outside its plot,
# and no table cell (the interactive section's too) is cut off. The report's
# plots and tables, and the files of curve (20 panels, and one location with
# the refused stretch) and envelope.
# The report with a storm set over the whole coast and simulated surges: its
# AEP and low-chord plots and its simulation plots are measured too.
"$surgekit" report --data "$examples" --storms "$examples/storms.csv" --coast -1720:861 \
  --sims "$examples/simulations.csv" -o "$work/report-full.html" ||
  fail "surgekit report --storms --sims ended with status $?"
grep -q '<title>Bridge 4: ' "$work/report-full.html" || fail "the full report has no AEP plot of bridge 4"
"$surgekit" curve --data "$examples" --location all --pressure 930 --radius 30 \
  --svg "$work/curve.svg" >/dev/null
"$surgekit" curve --data "$examples" --location 19 --pressure 930 --radius 30 \
  --svg "$work/curve19.svg" >/dev/null
"$surgekit" envelope --data "$examples" --svg "$work/envelope.svg" >/dev/null
{ printf '<!DOCTYPE html><html><body>\n'; cat "$work/curve.svg" "$work/curve19.svg" "$work/envelope.svg"
  printf '</body></html>\n'; } >"$work/files.html"
for page in report report-full files; do
  { cat "$work/$page.html"; printf '<script>\n'; cat "$(dirname "$0")/report_text_overlap.js"
    printf '</script>\n'; } >"$work/measured.html"
  browse "$work/measured.html" --dump-dom --window-size=1240,1400 >"$work/measured-dom.html"
  grep -q '<pre id="text-overlaps">TEXT OVERLAPS: ' "$work/measured-dom.html" ||
    fail "the text measurement did not run on the $page"
  if ! grep -q '<pre id="text-overlaps">TEXT OVERLAPS: 0$' "$work/measured-dom.html"; then
    sed -n '/TEXT OVERLAPS/,/<\/pre>/p' "$work/measured-dom.html" | head -20
    fail "texts overlap or are cut off in the $page"
  fi
done

browse "$work/report.html" --screenshot="$build/report.png" --window-size=1200,3000 >/dev/null
[ -s "$build/report.png" ] || fail "no screenshot at $build/report.png"
# One figure a page: the 20 panels, and bridge 4's AEP plot (its low chord
# lies beyond the surge of the storms) taken out of the full report.
{ printf '<!DOCTYPE html><html><body style="margin:0">\n'; cat "$work/curve.svg"
  printf '</body></html>\n'; } >"$work/curve-panels.html"
{ printf '<!DOCTYPE html><html><body style="margin:0">\n'
  awk '/^<svg/ { svg = "" } { svg = svg $0 "\n" }
       /<\/svg>/ { if (svg ~ /<title>Bridge 4: /) { printf "%s", svg; exit } }' \
    "$work/report-full.html"
  printf '</body></html>\n'; } >"$work/aep-plot.html"
grep -q '<title>Bridge 4: ' "$work/aep-plot.html" || fail "bridge 4's AEP plot was not found"
browse "$work/curve-panels.html" --screenshot="$build/curve-panels.png" --window-size=1240,1600 >/dev/null
browse "$work/aep-plot.html" --screenshot="$build/aep-plot.png" --window-size=700,420 >/dev/null
for shot in curve-panels aep-plot; do
  [ -s "$build/$shot.png" ] || fail "no screenshot at $build/$shot.png"
done
echo "report loads cleanly: $svgs plots, $tables tables; screenshots at $build/report.png," \
  "$build/curve-panels.png and $build/aep-plot.png"
