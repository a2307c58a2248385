#!/usr/bin/env bash
# Boards per hour of the production view on 8 simulated ports against one
# port alone, and the view's UI round trip during the run: 8 socat pty pairs
# (COM31 to COM38), each with the native target simulator paced at the line
# rate (115200 baud) and re-seating the next target after RESEAT_MS; a
# 64 KiB image. The tool runs a locked project of one port for SECONDS, then
# one of the 8 ports for SECONDS. Prints both rates, their ratio (ideal 8x)
# and the round trips' percentiles. It is not a test.
#   bench/app/run-production-bench.sh [SECONDS] [RESEAT_MS]
# Needs both trees built (targets production_bench, Tarvel_AP, Tarvel_CLI,
# Tarvel_DLL; tarvel_target_sim).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
seconds=${1:-90}
reseat=${2:-2000}
# shellcheck source=/dev/null
. "$repo/scripts/win-tree.sh"
winbin=$repo/$TARVEL_WIN_TREE/bin
sim=$repo/build/native/bin/tarvel_target_sim
for f in "$winbin/production_bench.exe" "$winbin/Tarvel_CLI.exe" "$winbin/Tarvel_AP.exe" "$sim"; do
  [ -e "$f" ] || { echo "missing $f: build the trees first" >&2; exit 1; }
done
# shellcheck source=tests/support/sim-ports.sh
. "$repo/tests/support/sim-ports.sh"
sim_ports_begin tarvel-production-bench
for n in $(seq 31 38); do
  sim_port_start "$n" "$work/out$n" --part T30C64 --pace 1 --repeat-delay-ms "$reseat"
done
trap 'wineserver -k >/dev/null 2>&1 || true; _sim_ports_end' EXIT
echo "64 KiB at 115200 baud, paced; re-seat $((reseat / 1000)).$(((reseat % 1000) / 100)) s; $seconds s a run"
wine "$winbin/production_bench.exe" 1 "$seconds" | tee "$work/one.txt"
wine "$winbin/production_bench.exe" 8 "$seconds" | tee "$work/eight.txt"
one=$(awk '/^RESULT/ {print $3}' "$work/one.txt")
eight=$(awk '/^RESULT/ {print $3}' "$work/eight.txt")
awk -v a="$one" -v b="$eight" 'BEGIN { if (a > 0) printf "8 ports / one port: %.2fx (ideal 8x, goal 7.2x)\n", b / a }'
