#!/bin/bash
# Times hexedit_paint_bench.exe under Wine with hyperfine and prints the cost
# of one operation: (mean time of COUNT operations - mean time of 0) / COUNT.
# Usage: run-paint-bench.sh BUILD_DIR   (a Windows build with
#        -DTARVEL_HEXEDIT_BENCH=ON; the Wine prefix and display come from
#        scripts/wine-env.sh)
set -euo pipefail
build=${1:?windows build folder}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
exe="$build/bin/hexedit_paint_bench.exe"
out=$(mktemp -d)
trap 'rm -rf "$out"; tarvel_wine_stop' EXIT

measure() {  # name size count op
  local name=$1 size=$2 count=$3 op=$4
  hyperfine -N --warmup 1 --runs 5 --export-json "$out/$name.json" \
    "wine $exe $size 0 $op" "wine $exe $size $count $op" >/dev/null
  python3 - "$out/$name.json" "$name" "$count" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
base, full = r[0]["mean"], r[1]["mean"]
n = int(sys.argv[3])
print(f"{sys.argv[2]:<28} {1e6 * (full - base) / n:10.1f} us per operation   (start-up {base:.3f} s)")
PY
}

wineserver -p 60 2>/dev/null || true   # keep the server up between runs
for size in 256 65536 16777216 268435456; do
  measure "paint_$size" $size 2000 paint
done
measure setbuffer_16MiB 16777216 50 setbuffer
measure pagedown_256MiB 268435456 2000 pagedown
measure end_home_256MiB 268435456 2000 end
measure thumbtrack_256MiB 268435456 2000 thumb
