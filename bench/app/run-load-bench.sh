#!/usr/bin/env bash
# Loading the largest image the parts table allows (1 MiB of random bytes,
# written as Intel HEX by objcopy) through the real tool, against the parse
# alone, and the tool's peak working set during the load.
#   bench/app/run-load-bench.sh [RUNS]
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$repo"
bash scripts/build.sh win >/dev/null
source scripts/wine-env.sh
trap tarvel_wine_stop EXIT
work=$(mktemp -d /tmp/tarvel-load-bench.XXXXXX)
trap 'rm -rf "$work"; tarvel_wine_stop' EXIT
head -c 1048576 /dev/urandom >"$work/image.bin"
objcopy -I binary -O ihex "$work/image.bin" "$work/image.hex"
wine "$TARVEL_WIN_TREE"/bin/load_bench.exe "Z:${work//\//\\}\\image.hex" "${1:-5}"
