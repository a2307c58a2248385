#!/usr/bin/env bash
# Boards per hour of a gang of 8 ports against one port alone, in one run:
# 8 socat pty pairs, each with the native target simulator paced at the line
# rate (every byte takes its ten bit times at 115200 baud) and re-seating the
# next target after RESEAT_MS; a 64 KiB image. One port programs BOARDS
# boards alone, then the gang programs 8 x BOARDS boards over the 8 ports.
# Prints both rates and their ratio (the ideal is 8), and the CPU time and
# peak memory each worker process reports, and those of the single-port
# programmer (/usr/bin/time around Wine). It is not a test.
#   bench/cli/run-gang-bench.sh [BOARDS] [RESEAT_MS]
# Needs both trees built (targets Tarvel_CLI, Tarvel_DLL; tarvel_target_sim).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
boards=${1:-3}
reseat=${2:-2000}
# shellcheck source=/dev/null
. "$repo/scripts/win-tree.sh"
winbin=$repo/$TARVEL_WIN_TREE/bin
sim=$repo/build/native/bin/tarvel_target_sim
for f in "$winbin/Tarvel_CLI.exe" "$winbin/Tarvel_DLL.dll" "$sim"; do
  [ -e "$f" ] || { echo "missing $f: build the trees first" >&2; exit 1; }
done
# shellcheck source=tests/support/sim-ports.sh
. "$repo/tests/support/sim-ports.sh"
sim_ports_begin tarvel-gang-bench

ports=()
for n in $(seq 31 38); do
  sim_port_start "$n" "$work/out$n" --part T30C64 --pace 1 --repeat-delay-ms "$reseat"
  ports+=("COM$n")
done
cp "$winbin/Tarvel_CLI.exe" "$winbin/Tarvel_DLL.dll" "$work/"
head -c 65536 /dev/urandom > "$work/fw64k.bin"
args=(program --part T30C64 --flash fw64k.bin --baud 115200 --checkrate 9600 --json --no-progress)
gang=$(IFS=,; echo "${ports[*]}")

cd "$work"
/usr/bin/time -f '%U %S %M' -o single.time wine ./Tarvel_CLI.exe "${args[@]}" --port COM31 --repeat "$boards" > single.json
wine ./Tarvel_CLI.exe "${args[@]}" --port "$gang" --repeat $((8 * boards)) > gang.json

# Wine first: a server that sees the pty pairs hang up prints its object table.
trap 'wineserver -k >/dev/null 2>&1 || true; _sim_ports_end' EXIT
python3 - single.json single.time gang.json "$boards" "$reseat" <<'PY'
import json, sys
single_path, time_path, gang_path, boards, reseat = sys.argv[1:6]
def records(path):
    return [json.loads(l) for l in open(path) if l.strip()]
single, gang = records(single_path), records(gang_path)
s = [r for r in single if r["record"] == "summary"][0]
g = [r for r in gang if r["record"] == "summary"][0]
print(f"64 KiB at 115200 baud, paced; re-seat {int(reseat) / 1000:.1f} s; {boards} boards per port")
print(f"one port : {s['passed']}/{s['boards']} passed in {s['seconds']:.2f} s -> {s['boards_per_hour']:.1f} boards/h")
print(f"8 ports  : {g['passed']}/{g['boards']} passed in {g['seconds']:.2f} s -> {g['boards_per_hour']:.1f} boards/h")
ratio = g["boards_per_hour"] / s["boards_per_hour"] if s["boards_per_hour"] else 0
print(f"gang / one port: {ratio:.2f}x (ideal 8x, goal 7.2x)")
user, system, rss_kib = open(time_path).read().split()[-3:]
print(f"single-port programmer: CPU {float(user) + float(system):.2f} s, peak RSS {int(rss_kib) / 1024:.1f} MiB")
for p in (r for r in gang if r["record"] == "port"):
    print(f"  worker {p['port']}: {p['passed']} passed, CPU {p['worker_cpu_seconds']:.2f} s, "
          f"peak working set {p['worker_peak_bytes'] / 1048576:.1f} MiB")
PY
