#!/usr/bin/env bash
# The job benchmarks of the tool under Wine (figures, not tests):
#   bench/app/run-job-bench.sh [SOAK_BOARDS] [STOPS] [RESPONSIVENESS_S]
# UI round trips during a Repeat Update, Stop latency, CPU while waiting for
# a target, 64 KiB at 115200 through the paced adapter and through the
# simulator on COM9, and a soak of one Repeat Update over many boards on
# COM9 with pacing off.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$repo"
bash scripts/build.sh all >/dev/null
source scripts/wine-env.sh
trap tarvel_wine_stop EXIT
bench="$TARVEL_WIN_TREE"/bin/job_bench.exe
sim=build/native/bin/tarvel_target_sim
link=tests/e2e/run-link-e2e.sh

wine "$bench" responsiveness "${3:-60}"
wine "$bench" stop "${2:-50}"
wine "$bench" cpu 10
wine "$bench" program KV707
SIM_OPTIONS="--pace 1" bash "$link" "$bench" "$sim" program COM9
LINK_TIMEOUT_S=7200 bash "$link" "$bench" "$sim" soak "${1:-1000}" COM9
