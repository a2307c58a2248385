#!/usr/bin/env bash
# Runs the tool's COM port tests: two socat pty pairs, a native target
# simulator on the far end of each, Wine's COM9 and COM12 linked to the near
# ends (so the tool lists them at start), COM5 to a plain file, then the
# test program with
# --gtest_filter ComE2e.* and the simulators' output folders. Everything
# started here is stopped on exit; every wait has a deadline.
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
repo=$(cd "$here/../.." && pwd)

if [ ! -x "$sim" ]; then
  echo "target simulator not found at $sim: build the native tree first (target tarvel_target_sim)" >&2
  exit 1
fi
command -v socat >/dev/null || { echo "socat is not installed" >&2; exit 1; }
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  # shellcheck source=/dev/null
  . "$repo/scripts/wine-env.sh"
  started_wine_env=1
fi
# A server started here keeps the hangup report of a closed pty out of the log.
wineserver -p3 >/dev/null 2>&1 || true

work=$(mktemp -d /tmp/tarvel-link-e2e.XXXXXX)
pids=()
declare -A saved_links=()

cleanup() {
  local rc=$?
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  for n in "${!saved_links[@]}"; do
    local link="$WINEPREFIX/dosdevices/com$n"
    rm -f "$link"
    if [ -n "${saved_links[$n]}" ]; then ln -s "${saved_links[$n]}" "$link"; fi
  done
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

mkdir -p "$WINEPREFIX/dosdevices"
args=()
for n in 9 12; do
  socat pty,raw,echo=0,link="$work/host$n" pty,raw,echo=0,link="$work/target$n" 2>"$work/socat$n.log" &
  pids+=($!)
  wait_for 5 test -e "$work/target$n" -a -e "$work/host$n" || { echo "socat did not create the pty pair" >&2; exit 1; }
  saved_links[$n]=$(readlink "$WINEPREFIX/dosdevices/com$n" 2>/dev/null || true)
  ln -sfn "$work/host$n" "$WINEPREFIX/dosdevices/com$n"
  mkdir -p "$work/out$n"
  "$sim" --port "$work/target$n" --out-dir "$work/out$n" --control "$work/out$n/control.txt" \
    --repeat-delay-ms 50 ${SIM_OPTIONS:-} 2>"$work/sim$n.log" &
  pids+=($!)
  # Z: is Wine's drive for the Unix root.
  args+=("--sim$n=Z:${work//\//\\}\\out$n")
done

# COM5 leads to a plain file: it opens, so the tool lists it, but it is no
# serial port, so the library refuses it; the test deletes the file later to
# pull the "port" out from under the tool.
: >"$work/gone5"
saved_links[5]=$(readlink "$WINEPREFIX/dosdevices/com5" 2>/dev/null || true)
ln -sfn "$work/gone5" "$WINEPREFIX/dosdevices/com5"
args+=("--gone5=Z:${work//\//\\}\\gone5")

set +e
if [ ${#extra[@]} -gt 0 ]; then
  timeout "${LINK_TIMEOUT_S:-280}" wine "$exe" "${extra[@]}"
else
  timeout "${LINK_TIMEOUT_S:-280}" wine "$exe" --gtest_filter='ComE2e.*' "${args[@]}"
fi
rc=$?
set -e
if [ $rc -ne 0 ]; then
  for f in "$work"/sim*.log "$work"/socat*.log; do [ -s "$f" ] && { echo "== $f"; cat "$f"; }; done
fi
exit $rc
