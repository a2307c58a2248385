#!/usr/bin/env bash
# The whole load of a firmware file (read, parse, compose, write the buffer
# out: what the window and the console programmer do, as hexload_tool runs
# it) against objcopy ... -O binary on the same file and against the floor
# (floor_tool: read the file in blocks, touch an image of the same size,
# write it), for a 16 MiB random image in every format, in one run (not part
# of the test run):
#   Intel HEX with 16-, 32- and 255-byte records, S-record S1 (64 KiB, all an
#   S1 file can address), S2 and S3 with 32-byte records, ELF32 and ELF64 (one
#   loadable segment), binary.
# For each: the median wall time of ours, objcopy and the floor (hyperfine,
# alternated), ours / floor, objcopy / ours, and the peak resident memory of
# ours and objcopy (/usr/bin/time -v). Then, for Intel HEX, the block parser
# in process against memcpy.
#
#   bench/image/run-load-bench.sh       # output directory: build-bench-load
#   RUNS=30 bench/image/run-load-bench.sh
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${BENCH_OUT:-$root/build-bench-load}
runs=${RUNS:-15}
mkdir -p "$out"
cd "$out"

flags=(-std=c++17 -O2 -DNDEBUG -Wall -Wextra -Werror -I"$root")
g++ "${flags[@]}" "$here/hexload_tool.cpp" "$root"/image/*.cpp -o hexload_tool
g++ "${flags[@]}" "$here/floor_tool.cpp" -o floor_tool

[ -s image.bin ] || head -c 16777216 /dev/urandom >image.bin
[ -s image-s1.bin ] || head -c 65536 image.bin >image-s1.bin
# Every text and ELF file, written as firmware tools write them: Intel HEX
# with a linear address record at each 64 KiB and CR LF; S-records with an S0
# header, 32 data bytes a record, the end record of their width, CR LF; ELF
# with its segment at file offset 0x1000 and section headers after it.
python3 - <<'PY'
import os, struct
data = open("image.bin", "rb").read()

def write(name, text):
    if not os.path.exists(name):
        open(name, "w", newline="").write(text)

def ihex(width):
    def rec(t, a, d):
        b = bytes([len(d), a >> 8, a & 0xFF, t]) + d
        return ":" + (b + bytes([(-sum(b)) & 0xFF])).hex().upper() + "\r\n"
    out, at = [], 0
    while at < len(data):
        if at % 0x10000 == 0 or (at // 0x10000) != ((at - 1) // 0x10000 if at else 0):
            out.append(rec(4, 0, bytes([at >> 24, (at >> 16) & 0xFF])))
        n = min(width, len(data) - at, 0x10000 - (at & 0xFFFF))
        out.append(rec(0, at & 0xFFFF, data[at:at + n]))
        at += n
    out.append(":00000001FF\r\n")
    return "".join(out)

def srec(kind, image):
    width = {1: 2, 2: 3, 3: 4}[kind]
    def rec(t, w, a, d):
        b = bytes([w + len(d) + 1]) + a.to_bytes(w, "big") + d
        return "S%d" % t + (b + bytes([~sum(b) & 0xFF])).hex().upper() + "\r\n"
    out = [rec(0, 2, 0, b"image")]
    for at in range(0, len(image), 32):
        out.append(rec(kind, width, at, image[at:at + 32]))
    out.append(rec(10 - kind, width, 0, b""))
    return "".join(out)

def elf(wide, image):
    # Header, one PT_LOAD program header, the segment at 0x1000, then a
    # .data and a .shstrtab section header (objcopy copies sections).
    names = b"\0.data\0.shstrtab\0"
    eh, ph, sh = (64, 56, 64) if wide else (52, 32, 40)
    seg = 0x1000
    strtab = seg + len(image)
    shoff = (strtab + len(names) + 7) & ~7
    if wide:
        head = struct.pack("<16sHHIQQQIHHHHHH", b"\x7fELF\x02\x01\x01" + bytes(9), 2, 0x28, 1, 0, eh, shoff, 0,
                           eh, ph, 1, sh, 3, 2)
        phdr = struct.pack("<IIQQQQQQ", 1, 5, seg, 0, 0, len(image), len(image), 0x1000)
        def shdr(name, t, flags, off, size):
            return struct.pack("<IIQQQQIIQQ", name, t, flags, 0, off, size, 0, 0, 1, 0)
    else:
        head = struct.pack("<16sHHIIIIIHHHHHH", b"\x7fELF\x01\x01\x01" + bytes(9), 2, 0x28, 1, 0, eh, shoff, 0,
                           eh, ph, 1, sh, 3, 2)
        phdr = struct.pack("<IIIIIIII", 1, seg, 0, 0, len(image), len(image), 5, 0x1000)
        def shdr(name, t, flags, off, size):
            return struct.pack("<IIIIIIIIII", name, t, flags, 0, off, size, 0, 0, 1, 0)
    body = bytearray(head + phdr)
    body += bytes(seg - len(body)) + image + names
    body += bytes(shoff - len(body))
    body += shdr(0, 0, 0, 0, 0) + shdr(1, 1, 3, seg, len(image)) + shdr(7, 3, 0, strtab, len(names))
    return bytes(body)

for width in (16, 32, 255):
    write(f"image-{width}.hex", ihex(width))
write("image-s1.s19", srec(1, open("image-s1.bin", "rb").read()))
write("image.s28", srec(2, data))
write("image.s37", srec(3, data))
for wide, name in ((False, "image32.elf"), (True, "image64.elf")):
    if not os.path.exists(name):
        open(name, "wb").write(elf(wide, data))
PY

# name  file  objcopy input  image
rows=(
    "HEX 16-byte records|image-16.hex|ihex|image.bin"
    "HEX 32-byte records|image-32.hex|ihex|image.bin"
    "HEX 255-byte records|image-255.hex|ihex|image.bin"
    "S1 (64 KiB image)|image-s1.s19|srec|image-s1.bin"
    "S2, 32-byte records|image.s28|srec|image.bin"
    "S3, 32-byte records|image.s37|srec|image.bin"
    "ELF32|image32.elf|elf32-little|image.bin"
    "ELF64|image64.elf|elf64-little|image.bin"
    "binary|image.bin|binary|image.bin"
)

# Every tool gives the image itself before anything is timed.
for row in "${rows[@]}"; do
    IFS='|' read -r name file in image <<<"$row"
    ./hexload_tool load "$file" ours.bin
    objcopy -I "$in" -O binary "$file" objcopy.bin
    ./floor_tool "$file" floor.bin "$(stat -c %s "$image")"
    cmp "$image" ours.bin
    cmp "$image" objcopy.bin
done

peak() {  # peak resident set of a command, KiB
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}'
}

printf '\n%-22s %9s | %9s %9s %9s | %10s %12s | %9s %9s\n' format "file MiB" "ours ms" "objcopy" "floor" \
    "ours/floor" "objcopy/ours" "ours MiB" "objc MiB"
for row in "${rows[@]}"; do
    IFS='|' read -r name file in image <<<"$row"
    size=$(stat -c %s "$image")
    hyperfine --warmup 2 --runs "$runs" -N --export-json times.json \
        "./hexload_tool load $file ours.bin" \
        "objcopy -I $in -O binary $file objcopy.bin" \
        "./floor_tool $file floor.bin $size" >/dev/null 2>&1
    read -r ours theirs floor < <(python3 -c '
import json
r = json.load(open("times.json"))["results"]
print(*(x["median"] * 1000 for x in r))')
    rss_ours=$(peak ./hexload_tool load "$file" ours.bin)
    rss_theirs=$(peak objcopy -I "$in" -O binary "$file" objcopy.bin)
    awk -v n="$name" -v f="$(stat -c %s "$file")" -v o="$ours" -v t="$theirs" -v fl="$floor" -v ro="$rss_ours" \
        -v rt="$rss_theirs" 'BEGIN {
        printf "%-22s %9.1f | %9.1f %9.1f %9.1f | %10.2f %12.2f | %9.1f %9.1f\n",
               n, f / 1048576, o, t, fl, o / fl, t / o, ro / 1024, rt / 1024 }'
done
echo "(times: medians of $runs runs, ms; peak memory: maximum resident set)"

echo
echo "Intel HEX block parser in process:"
for width in 16 32 255; do
    echo "== $width-byte records"
    ./hexload_tool speed "image-$width.hex"
done
