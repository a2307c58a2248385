#!/usr/bin/env bash
# Benchmarks of the S-record and ELF loaders and the HEX writer against
# objcopy on the same 16 MiB image, in one run (not part of the test run).
# hyperfine prints each pair's ratio ("... times faster than ...").
#  1. load: an S-record file and an ELF file to the binary image
#     (format_tool load) against objcopy -O binary;
#  2. save: the binary image as Intel HEX (format_tool save) against
#     objcopy -I binary -O ihex;
#  3. the in-memory part alone (tell and parse, or encode; best of 10) against
#     the mean of the same objcopy process: the file system's reading and
#     writing are the same work for both and dominate the whole-process times.
#
#   bench/image/run-format-bench.sh     # output directory: build-bench-format
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${BENCH_OUT:-$root/build-bench-format}
mkdir -p "$out"
cd "$out"

flags=(-std=c++17 -O2 -DNDEBUG -Wall -Wextra -Werror -I"$root")
g++ "${flags[@]}" "$here/format_tool.cpp" "$root"/image/{FileFormat,IntelHex,HexPairs,SRecord,Elf,LoadState}.cpp \
    -o format_tool

# A 16 MiB random image; the S-record and ELF files made from it by binutils
# (the ELF linked, so it has program headers as firmware files do).
if [ ! -s image.bin ]; then
    head -c 16777216 /dev/urandom >image.bin
    objcopy -I binary -O srec image.bin image.srec
    objcopy -I binary -O elf32-i386 -B i386 --rename-section .data=.code image.bin image.o
    printf 'SECTIONS {\n  . = 0;\n  .text : { *(.code) }\n}\n' >image.ld
    ld -m elf_i386 -T image.ld image.o -o image.elf
fi
for f in srec elf; do
    ./format_tool load "image.$f" "check-$f.bin"
    cmp image.bin "check-$f.bin"
done
./format_tool save image.bin check.hex
objcopy -I ihex -O binary check.hex check-hex.bin
cmp image.bin check-hex.bin
echo "image 16 MiB; S-record file $(stat -c %s image.srec) bytes, ELF file $(stat -c %s image.elf) bytes"

# The objcopy mean of a hyperfine run, in milliseconds.
objcopy_ms() { python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"]; print(r[1]["mean"]*1000)' "$1"; }

pair() {  # title, our command, objcopy command, json name, time arguments
    echo
    echo "== $1"
    hyperfine --warmup 2 --runs 10 -N --export-json "$4.json" "$2" "$3"
    local ours theirs
    ours=$(./format_tool time $5)
    theirs=$(objcopy_ms "$4.json")
    awk -v o="$ours" -v t="$theirs" 'BEGIN { printf "  in memory: ours %.1f ms (best of 10), objcopy process %.1f ms: %.1fx\n", o, t, t / o }'
}

pair "Load: S-record to binary" "./format_tool load image.srec ours-srec.bin" \
    "objcopy -I srec -O binary image.srec objcopy-srec.bin" srec "load image.srec x.bin"
pair "Load: ELF to binary" "./format_tool load image.elf ours-elf.bin" \
    "objcopy -O binary image.elf objcopy-elf.bin" elf "load image.elf x.bin"
pair "Save: binary to Intel HEX" "./format_tool save image.bin ours.hex" \
    "objcopy -I binary -O ihex image.bin objcopy.hex" hex "save image.bin x.hex"
