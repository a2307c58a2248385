#!/usr/bin/env bash
# Takes per second from a series in a private PostgreSQL server (started and
# stopped here, as the tests do), for 1, 8 and 32 takers at once.
#   bench/db/run-take-bench.sh [SECONDS]
# Needs build/native (target tarvel_take_bench).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bench=$repo/build/native/bench/db/tarvel_take_bench
[ -x "$bench" ] || { echo "missing $bench: build build/native first" >&2; exit 1; }
# shellcheck source=scripts/test-db.sh
source "$repo/scripts/test-db.sh"
trap tarvel_db_stop EXIT
"$bench" "$TARVEL_TEST_DB" "${1:-5}"
