#!/usr/bin/env bash
# Runs the production view's end-to-end tests: three socat pty pairs with
# the native target simulator on the far end of each, Wine's COM31 to COM33
# linked to the near ends, then the test program with the simulators'
# folders. Everything started here is stopped on exit.
#   run-production-e2e.sh TEST_EXE SIMULATOR [ARGS...]
set -euo pipefail

exe=$1
sim=$2
shift 2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/support/sim-ports.sh
. "$here/../support/sim-ports.sh"

if [ ! -x "$sim" ]; then
  echo "target simulator not found at $sim: build the native tree first (target tarvel_target_sim)" >&2
  exit 1
fi
sim_ports_begin tarvel-production-e2e

args=()
for n in 31 32 33; do
  sim_port_start "$n" "$work/out$n"
  # Z: is Wine's drive for the Unix root.
  args+=("--sim$n=Z:${work//\//\\}\\out$n")
done

# COM33 can be pulled and put back by the tests: a file "pull" in its
# simulator's folder ends its socat (the adapter unplugged), a file "back"
# then starts a new one with the same links (plugged in again).
pull=33
pull_socat=${_sim_pids[-2]}
(
  while [ ! -e "$work/out$pull/pull" ]; do sleep 0.1; done
  kill "$pull_socat" 2>/dev/null || true
  while [ ! -e "$work/out$pull/back" ]; do sleep 0.1; done
  exec socat pty,raw,echo=0,link="$work/host$pull" pty,raw,echo=0,link="$work/target$pull" 2>>"$work/socat$pull.log"
) &
_sim_pids+=($!)

set +e
timeout "${PRODUCTION_TIMEOUT_S:-400}" wine "$exe" "${args[@]}" "$@"
rc=$?
set -e
[ $rc -eq 0 ] || sim_ports_logs
exit $rc
