#!/usr/bin/env bash
# The report's interactive section in headless Chromium: over a thousand
# settings of its controls compared with `surgekit run`, the plots drawn where
# their axes say, redraws within a frame, the model's wrapper refusing bad
# calls, no request beyond the page itself, no console message, no text cut
# off; leaves BUILD_DIR/report-interactive.png.
# Usage: report_interactive_test.sh SURGEKIT EXAMPLES_DIR BUILD_DIR WEB_MODEL
#   WEB_MODEL is 1 when surgekit was built with the model in WebAssembly.
# Exit 77 (CTest: skipped) when Chromium or emscripten is not installed.
set -euo pipefail
surgekit=$1 examples=$2 build=$3 web_model=$4

if ! command -v chromium >/dev/null; then
  echo "chromium is not installed: the interactive page test is skipped (apt-get install chromium)"
  exit 77
fi
if [ "$web_model" != 1 ]; then
  echo "surgekit was built without emscripten (em++): the report has no interactive section;" \
       "the test is skipped (apt-get install emscripten, then configure again)"
  exit 77
fi
if ! command -v node >/dev/null; then
  echo "FAIL: node is not installed, yet emscripten (which needs it) is"
  exit 1
fi
work=$(mktemp -d /tmp/surge-interactive-XXXXXX)
# A Chromium helper that outlives the browser can still be writing the profile:
# the clean-up tries again rather than failing a test that passed.
cleanup() { for _ in 1 2 3 4 5; do rm -rf "$work" 2>/dev/null && return 0; sleep 1; done; rm -rf "$work" || true; }
trap cleanup EXIT
rm -f "$build/report-interactive.png"
timeout 600 node "$(dirname "$0")/report_interactive_test.mjs" "$surgekit" "$examples" "$build" "$work"
