#!/usr/bin/env bash
# Median start-up time of Tarvel_AP.exe under Wine to a painted main window,
# with the start-up version check on against a loopback server that never
# answers, next to the check off. As in startup.sh, wineserver is started
# first and kept running.
#   bench/update-startup.sh [RUNS] [--control]
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
bash scripts/build.sh win >/dev/null
source scripts/wine-env.sh
trap tarvel_wine_stop EXIT
wineserver -p || true  # persistent until killed
wine cmd /c exit >/dev/null 2>&1
wine "$TARVEL_WIN_TREE"/bin/update_startup_bench.exe "${1:-9}" ${2:+"$2"}
