#!/usr/bin/env bash
# Runs the end-to-end tests of Tarvel_CLI.exe: a socat pty pair with the
# native target simulator on its far end and Wine's COM7 linked to its near
# end, then the native test driver, which starts the real programmer under
# Wine for every case. Everything started here is stopped on exit; every
# wait has a deadline.
#   run-cli-e2e.sh DRIVER SIMULATOR WIN_BIN_DIR [gtest options]
set -euo pipefail

driver=$1
sim=$2
winbin=$3
shift 3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)

for f in "$driver" "$sim"; do
  if [ ! -x "$f" ]; then
    echo "$f not found: build the native tree first (targets cli_e2e_tests and tarvel_target_sim)" >&2
    exit 1
  fi
done
[ -f "$winbin/Tarvel_CLI.exe" ] || { echo "Tarvel_CLI.exe not found in $winbin" >&2; exit 1; }
command -v socat >/dev/null || { echo "socat is not installed" >&2; exit 1; }
if [ -z "${WINEPREFIX:-}" ]; then
  # shellcheck source=/dev/null
  . "$repo/scripts/wine-env.sh"
  started_wine_env=1
fi
# A server of our own that outlives the single runs, so that none of them
# starts one that keeps their output pipes open.
wineserver -p3 >/dev/null 2>&1 || true

com=7
idle=201
notserial=202
work=$(mktemp -d /tmp/tarvel-cli-e2e.XXXXXX)
pids=()
saved_link=$(readlink "$WINEPREFIX/dosdevices/com$com" 2>/dev/null || true)
saved_idle=$(readlink "$WINEPREFIX/dosdevices/com$idle" 2>/dev/null || true)
saved_notserial=$(readlink "$WINEPREFIX/dosdevices/com$notserial" 2>/dev/null || true)

cleanup() {
  local rc=$?
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -f "$WINEPREFIX/dosdevices/com$com"
  [ -n "$saved_link" ] && ln -s "$saved_link" "$WINEPREFIX/dosdevices/com$com"
  [ -n "$saved_idle" ] && ln -sfn "$saved_idle" "$WINEPREFIX/dosdevices/com$idle"
  rm -f "$WINEPREFIX/dosdevices/com$notserial"
  [ -n "$saved_notserial" ] && ln -sfn "$saved_notserial" "$WINEPREFIX/dosdevices/com$notserial"
  rm -rf "$work"
  if [ -n "${started_wine_env:-}" ]; then tarvel_wine_stop; fi
  exit $rc
}
trap cleanup EXIT

wait_for() {  # wait_for SECONDS TEST...
  local limit=$(( $1 * 10 )); shift
  for _ in $(seq 1 "$limit"); do "$@" && return 0; sleep 0.1; done
  return 1
}

mkdir -p "$WINEPREFIX/dosdevices" "$work/out"
rm -f "$WINEPREFIX/dosdevices/com$idle"
# A character device that is no terminal: it opens, but takes no line settings.
ln -sfn /dev/null "$WINEPREFIX/dosdevices/com$notserial"
socat pty,raw,echo=0,link="$work/host" pty,raw,echo=0,link="$work/target" 2>"$work/socat.log" &
pids+=($!)
wait_for 5 test -e "$work/target" -a -e "$work/host" || { echo "socat did not create the pty pair" >&2; exit 1; }
ln -sfn "$work/host" "$WINEPREFIX/dosdevices/com$com"
"$sim" --port "$work/target" --out-dir "$work/out" --control "$work/out/control.txt" 2>"$work/sim.log" &
pids+=($!)

set +e
timeout 580 "$driver" --win-bin="$winbin" --sim-dir="$work/out" --com="COM$com" --idle-com="COM$idle" --null-com="COM$notserial" "$@"
rc=$?
set -e
if [ $rc -ne 0 ]; then
  for f in "$work"/sim.log "$work"/socat.log; do [ -s "$f" ] && { echo "== $f"; cat "$f"; }; done
fi
exit $rc
