#!/usr/bin/env bash
# Runs the tool's COM port tests: two socat pty pairs, a native target
# simulator on the far end of each, Wine's COM9 and COM12 linked to the near
# ends (so the tool lists them at start), COM5 to a plain file, then the test
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
