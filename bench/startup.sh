#!/usr/bin/env bash
# Median start-up time of Tarvel_AP.exe under Wine to a painted main window.
# wineserver is started first and kept running, so that the figure is the
# tool's own start, not Wine's.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
# Ninja prints a compiler's errors on standard output: a failed build must
# show them rather than end the script without a word.
log=$(mktemp)
if ! bash scripts/build.sh win >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "startup.sh: the build failed; no figures" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"
source scripts/wine-env.sh
trap tarvel_wine_stop EXIT
wineserver -p || true  # persistent until killed
wine cmd /c exit >/dev/null 2>&1
wine "$TARVEL_WIN_TREE"/bin/startup_bench.exe "${1:-7}"
