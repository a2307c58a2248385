#!/usr/bin/env bash
# Runs the end-to-end tests of Tarvel_CLI.exe: a socat pty pair with the
# native target simulator on its far end and Wine's COM7 linked to its near
# end (and more such ports: COM8 to lose, COM21 to COM24 for a gang), then
# the native test driver, which starts the real programmer under
# Wine for every case. Everything started here is stopped on exit.
#   run-cli-e2e.sh DRIVER SIMULATOR WIN_BIN_DIR [gtest options]
set -euo pipefail

driver=$1
sim=$2
winbin=$3
shift 3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/support/sim-ports.sh
. "$here/../support/sim-ports.sh"

for f in "$driver" "$sim"; do
  if [ ! -x "$f" ]; then
    echo "$f not found: build the native tree first (targets cli_e2e_tests and tarvel_target_sim)" >&2
    exit 1
  fi
done
[ -f "$winbin/Tarvel_CLI.exe" ] || { echo "Tarvel_CLI.exe not found in $winbin" >&2; exit 1; }
sim_ports_begin tarvel-cli-e2e

com=7
idle=201
notserial=202
# No port at all under this name, and a character device that is no
# terminal: it opens, but takes no line settings.
sim_port_link "$idle" ""
sim_port_link "$notserial" /dev/null
sim_port_start "$com" "$work/out"
# A port of its own for the test that closes the pair mid-transfer.
lost=8
sim_port_start "$lost" "$work/out$lost"
lost_socat=${_sim_pids[-2]}
# A gang: three ports with a simulator each, and a fourth that a gang test
# pulls out mid-transfer.
for n in 21 22 23 24; do sim_port_start "$n" "$work/gang$n"; done
gang_lost_socat=${_sim_pids[-2]}
# Two stations of three ports each on one database series.
for n in 31 32 33 34 35 36; do sim_port_start "$n" "$work/gang$n"; done

set +e
timeout 580 "$driver" --win-bin="$winbin" --sim-dir="$work/out" --com="COM$com" --idle-com="COM$idle" --null-com="COM$notserial" \
  --lost-com="COM$lost" --lost-sim-dir="$work/out$lost" --lost-socat-pid="$lost_socat" \
  --gang-dir="$work" --gang-lost-socat-pid="$gang_lost_socat" "$@"
rc=$?
set -e
[ $rc -eq 0 ] || sim_ports_logs
exit $rc
