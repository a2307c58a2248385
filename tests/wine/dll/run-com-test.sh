#!/usr/bin/env bash
# Runs the COM port tests of the stand-in library: two socat pty pairs, a
# native target simulator on the far end of each, Wine's COM7 and COM12
# linked to the near ends, then the Windows test program with --gtest_filter
# ComPort.*. Everything started here is stopped on exit.
#   run-com-test.sh TEST_EXE SIMULATOR
set -euo pipefail

exe=$1
sim=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/support/sim-ports.sh
. "$here/../../support/sim-ports.sh"

if [ ! -x "$sim" ]; then
  echo "target simulator not found at $sim: build the native tree first (target tarvel_target_sim)" >&2
  exit 1
fi
sim_ports_begin tarvel-dll-com

args=()
for n in 7 12; do
  sim_port_start "$n" "$work/out$n"
  # Z: is Wine's drive for the Unix root.
  args+=("--sim$n=Z:${work//\//\\}\\out$n")
done

set +e
timeout 150 wine "$exe" --gtest_filter='ComPort.*' "${args[@]}"
rc=$?
set -e
[ $rc -eq 0 ] || sim_ports_logs
exit $rc
