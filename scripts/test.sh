#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test: the
# formatting check, the native tests (sanitizers on), the fuzz targets for a
# bounded time, and the Win32 tests and end-to-end tests under Wine on a
# virtual display.
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

bash scripts/install-deps.sh || exit 1
bash scripts/build.sh all || exit 1

status=0
summary=()
if bash scripts/check-format.sh; then
  summary+=("format: every C++ file as .clang-format says")
else
  status=1
  summary+=("format: files differ from .clang-format (see above)")
fi
run_ctest() {  # name, build dir
  local log
  log=$(mktemp)
  (cd "$2" && ctest --output-on-failure --timeout 300) 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  [ "$rc" -eq 0 ] || status=1
  summary+=("$1: $(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -n 1)")
  rm -f "$log"
}

# The database tests' own PostgreSQL server on the loopback address, for the
# native and the Wine tests (TARVEL_TEST_DB).
# shellcheck source=scripts/test-db.sh
source scripts/test-db.sh || exit 1
trap tarvel_db_stop EXIT

run_ctest native build/native

if [ -f tests/fuzz/run-fuzz.sh ]; then
  bash tests/fuzz/run-fuzz.sh || status=1
fi

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh || exit 1
trap 'tarvel_wine_stop; tarvel_db_stop' EXIT
run_ctest wine "$TARVEL_WIN_TREE"

echo
printf '%s\n' "${summary[@]}"
exit $status
