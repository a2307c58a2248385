#!/usr/bin/env bash
# Boards per hour of Tarvel_CLI.exe for a 64 KiB image at 115200 baud, and
# the programmer's own time per board (outside the library call):
#   - through the stand-in library's built-in adapter, paced (every byte takes
#     its ten bit times), with a re-seat delay between boards;
#   - through COM7 to the native target simulator on a socat pty, paced the
#     same way by the simulator.
# Both against the line-rate limit: 65536 bytes at 11,520 bytes per second
# plus the re-seat delay. Prints figures; it is not a test.
#   bench/cli/run-bench.sh [BOARDS] [RESEAT_MS]
# Needs both trees built (targets Tarvel_CLI, Tarvel_DLL; tarvel_target_sim).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
boards=${1:-5}
reseat=${2:-2000}
winbin=$repo/$TARVEL_WIN_TREE/bin
sim=$repo/build/native/bin/tarvel_target_sim
for f in "$winbin/Tarvel_CLI.exe" "$winbin/Tarvel_DLL.dll" "$sim"; do
  [ -e "$f" ] || { echo "missing $f: build the trees first" >&2; exit 1; }
done
# shellcheck source=/dev/null
. "$repo/scripts/wine-env.sh"
wineserver -p3 >/dev/null 2>&1 || true

work=$(mktemp -d /tmp/tarvel-cli-bench.XXXXXX)
pids=()
saved_link=$(readlink "$WINEPREFIX/dosdevices/com7" 2>/dev/null || true)
cleanup() {
  # Wine first: a server that sees the pty hang up prints its object table.
  tarvel_wine_stop
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -f "$WINEPREFIX/dosdevices/com7"
  if [ -n "$saved_link" ]; then ln -s "$saved_link" "$WINEPREFIX/dosdevices/com7"; fi
  rm -rf "$work"
}
trap cleanup EXIT

cp "$winbin/Tarvel_CLI.exe" "$winbin/Tarvel_DLL.dll" "$work/"
head -c 65536 /dev/urandom > "$work/fw64k.bin"

summarize() {  # summarize LABEL JSON_FILE
  python3 - "$1" "$2" "$reseat" <<'PY'
import json, sys
label, path, reseat = sys.argv[1], sys.argv[2], int(sys.argv[3]) / 1000
recs = [json.loads(l) for l in open(path) if l.strip()]
boards = [r for r in recs if r["record"] == "board"]
summary = [r for r in recs if r["record"] == "summary"][0]
lib = sum(b["library_seconds"] for b in boards)
n = len(boards)
limit = 3600 / (65536 / 11520 + reseat)
# The first board has no re-seat before it; the steady state is what a
# production line sees.
steady = boards[1:] or boards
per = sum(b["seconds"] for b in steady) / len(steady)
print(f"{label}: {summary['passed']}/{n} passed in {summary['seconds']:.2f} s -> "
      f"{summary['boards_per_hour']:.1f} boards/h over the run, "
      f"{3600 / per:.1f} boards/h steady ({per:.3f} s/board after the first)")
print(f"  line-rate limit + {reseat:.1f} s re-seat: {limit:.1f} boards/h "
      f"({65536 / 11520 + reseat:.3f} s/board); steady run reaches {100 * (3600 / per) / limit:.1f}% of it")
print(f"  programmer's own time outside UpdateMCU: {1000 * (summary['seconds'] - lib) / n:.2f} ms per board "
      f"(run {summary['seconds']:.3f} s, inside the library {lib:.3f} s)")
PY
}

args=(program --part T30C64 --flash fw64k.bin --baud 115200 --checkrate 9600 --repeat "$boards" --json --no-progress)

printf '[Adapter]\npace=1\nrepeat-delay-ms=%s\n' "$reseat" > "$work/Tarvel_DLL.ini"
(cd "$work" && wine ./Tarvel_CLI.exe "${args[@]}" --port KV707 > adapter.json)
summarize "KV707 adapter, paced" "$work/adapter.json"

printf '' > "$work/Tarvel_DLL.ini"
socat pty,raw,echo=0,link="$work/host" pty,raw,echo=0,link="$work/target" 2>/dev/null &
pids+=($!)
for _ in $(seq 1 50); do [ -e "$work/host" ] && [ -e "$work/target" ] && break; sleep 0.1; done
ln -sfn "$work/host" "$WINEPREFIX/dosdevices/com7"
"$sim" --port "$work/target" --part T30C64 --pace 1 --repeat-delay-ms "$reseat" 2>/dev/null &
pids+=($!)
(cd "$work" && wine ./Tarvel_CLI.exe "${args[@]}" --port COM7 > sim.json)
summarize "COM7 to the simulator on a pty, paced" "$work/sim.json"
