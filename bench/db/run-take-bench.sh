#!/usr/bin/env bash
# Serial numbers from a series in a private PostgreSQL server (started and
# stopped here, as the tests do): takes per second for 1, 8 and 32 takers
# at once, and the time take and pass add to a board when 16 and 32 takers
# start boards at a station's pace.
#   bench/db/run-take-bench.sh [SECONDS [BOARD_SECONDS [BOARDS]]]
# (see TakeBench.cpp). Needs build/native (target tarvel_take_bench).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bench=$repo/build/native/bench/db/tarvel_take_bench
[ -x "$bench" ] || { echo "missing $bench: build build/native first" >&2; exit 1; }
# shellcheck source=scripts/test-db.sh
source "$repo/scripts/test-db.sh"
trap tarvel_db_stop EXIT
"$bench" "$TARVEL_TEST_DB" "$@"
