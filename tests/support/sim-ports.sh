# Sourced by the scripts that run tests or benchmarks over COM ports: Wine's
# COMn linked to the near end of a socat pty pair, the native target
# simulator on the far end. Everything started is stopped, and every link put
# back as it was, when the sourcing script exits; every wait has a deadline.
#
#   sim_ports_begin NAME        a work folder /tmp/NAME.XXXXXX in $work, the
#                               Wine environment (unless one is set up)
#   sim_port_link N TARGET      points COMn at TARGET (or removes it for "")
#   sim_port_start N DIR [OPT]  a pty pair on COMn and the simulator writing
#                               to DIR, with simulator options OPT...
#   sim_ports_logs              prints the simulators' and socat's logs

_sim_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
_sim_pids=()
declare -A _sim_saved_links=()

sim_ports_begin() {
  command -v socat >/dev/null || { echo "socat is not installed" >&2; exit 1; }
  if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
    # shellcheck source=/dev/null
    . "$_sim_repo/scripts/wine-env.sh"
    _sim_started_wine_env=1
  fi
  # One Wine server for all the programs that use the ports, started here in
  # the foreground, so that it is no session leader. A server that a Wine
  # program starts daemonizes into a session of its own; the first terminal
  # such a server opens (a port's pty) becomes its controlling terminal, and
  # pulling that pty (the lost-port tests) then sends the server SIGHUP: it
  # dumps its objects into the program's output and the hung-up port stops
  # answering as a lost one. A server that outlives every program also never
  # starts afresh between two of them, whatever the machine's load.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -f -p >/dev/null 2>&1 &
  _sim_wineserver_pid=$!
  # Give it its moment to set up its socket before the first program asks.
  sleep 1
  work=$(mktemp -d "/tmp/$1.XXXXXX")
  mkdir -p "$WINEPREFIX/dosdevices"
  trap _sim_ports_end EXIT
}

_sim_ports_end() {
  local rc=$?
  # Wine first, then the ports: no program is left with a pty that hangs up.
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${_sim_wineserver_pid:-}" ]; then wait "$_sim_wineserver_pid" 2>/dev/null || true; fi
  for pid in "${_sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${_sim_pids[@]}"; do
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  for n in "${!_sim_saved_links[@]}"; do
    local link="$WINEPREFIX/dosdevices/com$n"
    rm -f "$link"
    if [ -n "${_sim_saved_links[$n]}" ]; then ln -s "${_sim_saved_links[$n]}" "$link"; fi
  done
  rm -rf "$work"
  if [ -n "${_sim_started_wine_env:-}" ]; then tarvel_wine_stop; fi
  exit $rc
}

_sim_wait_for() {  # _sim_wait_for SECONDS TEST...
  local limit=$(( $1 * 10 )); shift
  for _ in $(seq 1 "$limit"); do "$@" && return 0; sleep 0.1; done
  return 1
}

sim_port_link() {
  local n=$1 target=$2 link="$WINEPREFIX/dosdevices/com$1"
  if [ -z "${_sim_saved_links[$n]+set}" ]; then _sim_saved_links[$n]=$(readlink "$link" 2>/dev/null || true); fi
  rm -f "$link"
  if [ -n "$target" ]; then ln -sfn "$target" "$link"; fi
}

sim_port_start() {
  local n=$1 out=$2
  shift 2
  socat pty,raw,echo=0,link="$work/host$n" pty,raw,echo=0,link="$work/target$n" 2>"$work/socat$n.log" &
  _sim_pids+=($!)
  _sim_wait_for 5 test -e "$work/target$n" -a -e "$work/host$n" ||
    { echo "socat did not create the pty pair for COM$n" >&2; exit 1; }
  sim_port_link "$n" "$work/host$n"
  mkdir -p "$out"
  "$sim" --port "$work/target$n" --out-dir "$out" --control "$out/control.txt" "$@" 2>"$work/sim$n.log" &
  _sim_pids+=($!)
}

sim_ports_logs() {
  for f in "$work"/sim*.log "$work"/socat*.log; do [ -s "$f" ] && { echo "== $f"; cat "$f"; }; done
  return 0
}
