#!/usr/bin/env bash
# Median start-up time of Tarvel_AP.exe under Wine to a painted main window.
# wineserver is started first and kept running, so that the figure is the
# tool's own start, not Wine's.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
bash scripts/build.sh win >/dev/null
source scripts/wine-env.sh
trap tarvel_wine_stop EXIT
wineserver -p || true  # persistent until killed
wine cmd /c exit >/dev/null 2>&1
wine "$TARVEL_WIN_TREE"/bin/startup_bench.exe "${1:-7}"
