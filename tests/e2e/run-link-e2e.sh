#!/usr/bin/env bash
# Runs the tool's COM port tests: socat pty pairs, a native target
# simulator on the far end of each, Wine's COM9, COM12 and COM8 linked to the
# near ends (so the tool lists them at start), COM5 to a plain file, then the test
# program with --gtest_filter ComE2e.* and the simulators' output folders.
# Everything started here is stopped on exit.
#   run-link-e2e.sh TEST_EXE SIMULATOR [ARGS...]
# With ARGS the program gets them instead of the test filter (the job
# benchmarks run this way); SIM_OPTIONS adds simulator options and
# LINK_TIMEOUT_S bounds the program (280 s).
set -euo pipefail

exe=$1
sim=$2
shift 2
extra=("$@")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/support/sim-ports.sh
. "$here/../support/sim-ports.sh"

if [ ! -x "$sim" ]; then
  echo "target simulator not found at $sim: build the native tree first (target tarvel_target_sim)" >&2
  exit 1
fi
sim_ports_begin tarvel-link-e2e

args=()
for n in 9 12; do
  # shellcheck disable=SC2086
  sim_port_start "$n" "$work/out$n" --repeat-delay-ms 50 ${SIM_OPTIONS:-}
  # Z: is Wine's drive for the Unix root.
  args+=("--sim$n=Z:${work//\//\\}\\out$n")
done
# COM5 leads to a plain file: it opens, so the tool lists it, but it is no
# serial port, so the library refuses it; the test deletes the file later to
# pull the "port" out from under the tool.
: >"$work/gone5"
sim_port_link 5 "$work/gone5"
args+=("--gone5=Z:${work//\//\\}\\gone5")
# COM8 is an adapter that the test pulls out in the middle of a board and
# plugs in again: it asks by creating pull8 and restore8 in the work folder,
# and a watcher here ends the pair's socat and later makes the pair anew
# under the same names (the simulator waits for its end to come back).
sim_port_start 8 "$work/out8" --repeat-delay-ms 50
pull8_socat=${_sim_pids[-2]}
(
  again=
  trap '[ -n "$again" ] && kill "$again" 2>/dev/null' EXIT
  trap 'exit 0' TERM
  while [ ! -e "$work/pull8" ]; do sleep 0.05; done
  kill "$pull8_socat" 2>/dev/null
  while [ ! -e "$work/restore8" ]; do sleep 0.05; done
  rm -f "$work/host8" "$work/target8"
  socat pty,raw,echo=0,link="$work/host8" pty,raw,echo=0,link="$work/target8" 2>>"$work/socat8.log" &
  again=$!
  wait "$again"
) &
_sim_pids+=($!)
args+=("--sim8=Z:${work//\//\\}\\out8" "--work=Z:${work//\//\\}")

set +e
if [ ${#extra[@]} -gt 0 ]; then
  timeout "${LINK_TIMEOUT_S:-280}" wine "$exe" "${extra[@]}"
else
  timeout "${LINK_TIMEOUT_S:-280}" wine "$exe" --gtest_filter='ComE2e.*' "${args[@]}"
fi
rc=$?
set -e
[ $rc -eq 0 ] || sim_ports_logs
exit $rc
