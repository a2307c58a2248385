#!/usr/bin/env bash
# Benchmarks of the Intel HEX parser (not part of the test run):
#  1. throughput in MB of HEX text per second, images of 64 KiB, 1 MiB, 16 MiB
#     (Google Benchmark, in process);
#  2. instructions per HEX character inside ParseIntelHex under callgrind;
#  3. the same 16 MiB file through objcopy -I ihex -O binary, timed with
#     hyperfine next to our tool and counted with callgrind, for the ratio;
#  4. peak memory (/usr/bin/time -v) of parsing the 16 MiB file.
#
#   bench/image/run-bench.sh            # output directory: build-bench-image
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${BENCH_OUT:-$root/build-bench-image}
mkdir -p "$out"
cd "$out"

flags=(-std=c++17 -O2 -g -DNDEBUG -Wall -Wextra -Werror -I"$root")
core=("$root"/image/{IntelHex,HexPairs,ByteSum}.cpp)
g++ "${flags[@]}" "$here/hexparse_tool.cpp" "${core[@]}" -o hexparse_tool
g++ "${flags[@]}" "$here/bench_parse.cpp" "${core[@]}" -lbenchmark -lpthread -o bench_parse

# Random images written by objcopy: 16 data bytes per record, CR LF, segment
# records below 1 MiB and linear records above, as firmware files commonly are.
for entry in 64K:65536 1M:1048576 16M:16777216; do
    name=${entry%%:*} size=${entry#*:}
    if [ ! -s "image-$name.hex" ]; then
        head -c "$size" /dev/urandom >"image-$name.bin"
        objcopy -I binary -O ihex "image-$name.bin" "image-$name.hex"
    fi
done
chars=$(stat -c %s image-16M.hex)

echo "== Throughput (Google Benchmark)"
HEX_BENCH_DIR="$out" ./bench_parse --benchmark_min_time=1

echo
echo "== Instructions per HEX character (callgrind, inside ParseIntelHex)"
for name in 64K 1M 16M; do
    n=$(stat -c %s "image-$name.hex")
    valgrind --tool=callgrind --callgrind-out-file="callgrind-$name.out" \
        --toggle-collect='image::ParseIntelHex*' ./hexparse_tool "image-$name.hex" >/dev/null 2>"callgrind-$name.log"
    ir=$(grep -E '^summary:|^totals:' "callgrind-$name.out" | head -n 1 | awk '{print $2}')
    awk -v ir="$ir" -v n="$n" -v name="$name" \
        'BEGIN { printf "  %-4s %10d characters %12.0f instructions  %.2f per character\n", name, n, ir, ir / n }'
done

echo
echo "== objcopy -I ihex -O binary on the 16 MiB file (callgrind, whole process)"
valgrind --tool=callgrind --callgrind-out-file=callgrind-objcopy.out \
    objcopy -I ihex -O binary image-16M.hex objcopy-16M.bin 2>callgrind-objcopy.log
ir=$(grep -E '^summary:|^totals:' callgrind-objcopy.out | head -n 1 | awk '{print $2}')
awk -v ir="$ir" -v n="$chars" 'BEGIN { printf "  objcopy %12.0f instructions  %.2f per character\n", ir, ir / n }'
valgrind --tool=callgrind --callgrind-out-file=callgrind-tool.out ./hexparse_tool image-16M.hex >/dev/null 2>callgrind-tool.log
ir=$(grep -E '^summary:|^totals:' callgrind-tool.out | head -n 1 | awk '{print $2}')
awk -v ir="$ir" -v n="$chars" 'BEGIN { printf "  ours    %12.0f instructions  %.2f per character (whole process: read, parse, checksum)\n", ir, ir / n }'

echo
echo "== Wall time, 16 MiB file (hyperfine)"
hyperfine --warmup 2 --runs 10 -N \
    "./hexparse_tool image-16M.hex" \
    "objcopy -I ihex -O binary image-16M.hex objcopy-16M.bin"

echo
echo "== Peak memory of parsing the 16 MiB file (/usr/bin/time -v)"
: >empty.hex
/usr/bin/time -v ./hexparse_tool empty.hex 2>time-empty.txt >/dev/null || true
/usr/bin/time -v ./hexparse_tool image-16M.hex 2>time-16M.txt >/dev/null
base=$(awk -F': ' '/Maximum resident/ {print $2}' time-empty.txt)
peak=$(awk -F': ' '/Maximum resident/ {print $2}' time-16M.txt)
awk -v b="$base" -v p="$peak" -v t="$chars" 'BEGIN {
    printf "  text %.1f MiB + image 16.0 MiB = %.1f MiB\n", t / 1048576, t / 1048576 + 16
    printf "  peak RSS %.1f MiB, of which %.1f MiB is the process itself (empty file)\n", p / 1024, b / 1024
    printf "  peak above the empty run: %.1f MiB\n", (p - b) / 1024 }'
/usr/bin/time -v objcopy -I ihex -O binary image-16M.hex objcopy-16M.bin 2>time-objcopy.txt
awk -F': ' '/Maximum resident/ {printf "  objcopy peak RSS %.1f MiB\n", $2 / 1024}' time-objcopy.txt
