#!/usr/bin/env bash
# The whole load of a HEX file (read in blocks, parse, compose: what the window
# and the console programmer do) against objcopy -I ihex -O binary on the same
# 16 MiB image written with 16-, 32- and 255-byte records, in one run (not part
# of the test run):
#  1. wall time, both alternated by hyperfine (it prints the ratio);
#  2. peak memory, maximum resident set of each (/usr/bin/time -v);
#  3. in process: the block parser on the text in memory against memcpy.
#
#   bench/image/run-load-bench.sh       # output directory: build-bench-load
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${BENCH_OUT:-$root/build-bench-load}
mkdir -p "$out"
cd "$out"

flags=(-std=c++17 -O2 -DNDEBUG -Wall -Wextra -Werror -I"$root")
g++ "${flags[@]}" "$here/hexload_tool.cpp" "$root"/image/*.cpp -o hexload_tool

[ -s image.bin ] || head -c 16777216 /dev/urandom >image.bin
for width in 16 32 255; do
    [ -s "image-$width.hex" ] && continue
    # Linear address records at each 64 KiB, CR LF, as firmware tools write them.
    python3 - "$width" <<'PY'
import sys
width = int(sys.argv[1])
data = open("image.bin", "rb").read()
def rec(t, a, d):
    b = bytes([len(d), a >> 8, a & 0xFF, t]) + d
    return ":" + (b + bytes([(-sum(b)) & 0xFF])).hex().upper() + "\r\n"
out = []
at = 0
while at < len(data):
    if at % 0x10000 == 0 or (at // 0x10000) != ((at - 1) // 0x10000 if at else 0):
        out.append(rec(4, 0, bytes([at >> 24, (at >> 16) & 0xFF])))
    n = min(width, len(data) - at, 0x10000 - (at & 0xFFFF))
    out.append(rec(0, at & 0xFFFF, data[at:at + n]))
    at += n
out.append(":00000001FF\r\n")
open(f"image-{width}.hex", "w").write("".join(out))
PY
done

for width in 16 32 255; do
    ./hexload_tool load "image-$width.hex" "ours-$width.bin"
    objcopy -I ihex -O binary "image-$width.hex" "objcopy-$width.bin"
    cmp image.bin "ours-$width.bin"
    cmp image.bin "objcopy-$width.bin"
done

for width in 16 32 255; do
    echo
    echo "== $width-byte records: $(stat -c %s "image-$width.hex") characters"
    hyperfine --warmup 2 --runs 15 -N \
        "./hexload_tool load image-$width.hex ours-$width.bin" \
        "objcopy -I ihex -O binary image-$width.hex objcopy-$width.bin" | grep -E 'Time|±|faster|hexload|objcopy'
    /usr/bin/time -v ./hexload_tool load "image-$width.hex" "ours-$width.bin" 2>time-ours.txt
    /usr/bin/time -v objcopy -I ihex -O binary "image-$width.hex" "objcopy-$width.bin" 2>time-objcopy.txt
    ours=$(awk -F': ' '/Maximum resident/ {print $2}' time-ours.txt)
    theirs=$(awk -F': ' '/Maximum resident/ {print $2}' time-objcopy.txt)
    awk -v o="$ours" -v t="$theirs" 'BEGIN {
        printf "  peak RSS: ours %.1f MiB, objcopy %.1f MiB, ours / objcopy = %.2f (image 16.0 MiB)\n", o / 1024, t / 1024, o / t }'
    ./hexload_tool speed "image-$width.hex"
done
